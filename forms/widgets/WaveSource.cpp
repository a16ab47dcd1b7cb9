#include "widgets/WaveSource.h"

#include "jobs/JobOutcome.h"

using namespace mp3core;

TWaveSource::TWaveSource(QObject *parent) : QObject(parent)
{
    poll_.setInterval(25);
    connect(&poll_, &QTimer::timeout, this, &TWaveSource::Poll);
}

TWaveSource::~TWaveSource()
{
    Stop();
}

void TWaveSource::Stop()
{
    poll_.stop();
    if (build_ != nullptr) {
        *build_->Cancel = true; // the build stops within a block
    }
    if (builder_.joinable()) {
        builder_.join();
    }
    if (stretcher_.joinable()) {
        stretcher_.join(); // a stretch is short: a few frames more than the view shows
    }
    build_.reset();
    stretch_.reset();
    wanted_.reset();
    source_.reset();
}

void TWaveSource::Load(const std::filesystem::path &file)
{
    Stop();
    auto build = std::make_shared<TBuild>();
    build_ = build;
    shown_ = 0;
    builder_ = std::thread([file, build] {
        auto source = std::make_unique<TSource>();
        TJobOutcome outcome;
        if (OpenJobInput(file, *source, outcome)) {
            build->Peaks = BuildPeaks(*source, std::max(1u, std::thread::hardware_concurrency()),
                                      build->Cancel, &build->Sketch);
            build->Source = std::move(source);
        }
        build->Done = true;
    });
    poll_.start();
}

void TWaveSource::Poll()
{
    if (build_ != nullptr) {
        TakeBuild();
    }
    if (stretch_ != nullptr && stretch_->Done) {
        stretcher_.join();
        const std::shared_ptr<TStretch> done = std::move(stretch_);
        emit Samples(done->First,
                     std::make_shared<const std::vector<int16_t>>(std::move(done->Samples)));
        if (wanted_) {
            const auto [first, count] = *wanted_;
            wanted_.reset();
            StartStretch(first, count);
        }
    }
    if (build_ == nullptr && stretch_ == nullptr) {
        poll_.stop();
    }
}

void TWaveSource::TakeBuild()
{
    if (!build_->Done) {
        // Drawn as it fills in: the sketch, when it has changed.
        const uint64_t version = build_->Sketch.Version();
        if (version != shown_) {
            shown_ = version;
            emit Peaks(std::make_shared<const TPeaks>(build_->Sketch.Copy()), false);
        }
        return;
    }
    builder_.join();
    const std::shared_ptr<TBuild> done = std::move(build_);
    if (done->Peaks.Error.empty() && !done->Peaks.Levels.empty()) {
        source_ = std::move(done->Source);
        emit Peaks(std::make_shared<const TPeaks>(std::move(done->Peaks)), true);
    }
}

void TWaveSource::WantSamples(int64_t first, int64_t count)
{
    if (source_ == nullptr) {
        return; // not before the peaks are whole: the build reads the file
    }
    if (stretch_ != nullptr) {
        wanted_ = {first, count};
        return;
    }
    StartStretch(first, count);
}

void TWaveSource::StartStretch(int64_t first, int64_t count)
{
    auto stretch = std::make_shared<TStretch>();
    stretch->First = first;
    stretch->Count = count;
    stretch_ = stretch;
    TSource *source = source_.get(); // this thread's alone until it is joined
    stretcher_ = std::thread([source, stretch] {
        std::string error;
        DecodeStretch(*source, stretch->First, stretch->Count, stretch->Samples, error);
        stretch->Done = true;
    });
    poll_.start();
}

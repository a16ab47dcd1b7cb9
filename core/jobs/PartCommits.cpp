#include "jobs/PartCommits.h"

#include "io/Errors.h"

namespace mp3core {

TPartCommits::~TPartCommits()
{
    for (TPending &p : pending_) {
        if (p.Measure.valid()) {
            p.Measure.wait();
        }
    }
}

void TPartCommits::Add(TWrittenPart part)
{
    TPending pending{std::move(part), {}, std::make_shared<std::string>()};
    if (pending.Part.GainAt >= 0) {
        TFileStream *stream = &pending.Part.Out->Stream();
        pending.Measure = std::async(std::launch::async, [stream, error = pending.Error] {
            return MeasureLoudness(*stream, TPeakKind::Sample, *error);
        });
    }
    pending_.push_back(std::move(pending));
}

bool TPartCommits::Settle(size_t keep)
{
    while (pending_.size() > keep) {
        const bool done = Finish(pending_.front());
        pending_.pop_front();
        if (!done) {
            return false;
        }
    }
    return true;
}

bool TPartCommits::Finish(TPending &pending)
{
    TWrittenPart &part = pending.Part;
    if (pending.Measure.valid()) {
        part.Level.Loudness = pending.Measure.get();
        if (!part.Level.Loudness) {
            Failed(outcome_, TJobStatus::WriteFailed, part.Path,
                   EStreamError("the part cannot be decoded to measure it: " + *pending.Error));
            return false;
        }
        try {
            WriteTrackGain(part.Out->Stream(), part.GainAt, part.GainRoom, *part.Level.Loudness,
                           true);
        } catch (const EStreamError &e) {
            Failed(outcome_, TJobStatus::WriteFailed, part.Path, e);
            return false;
        }
        gains_.push_back({part.Path, part.GainAt, part.GainRoom, *part.Level.Loudness});
    }
    if (!CommitOutput(*part.Out, part.Path, outcome_)) {
        return false;
    }
    outcome_.Written.push_back(part.Path);
    outcome_.Plan.push_back(
        {part.Path, part.StartMs, part.EndMs, FileBytes(part.Path), part.Level});
    return true;
}

} // namespace mp3core

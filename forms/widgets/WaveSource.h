#pragma once
// What a waveform draws, made off the window's thread: the peaks of a file, handed over as they
// fill in and once whole, and afterwards the single samples of a stretch, for the deepest zoom.
// A thread of its own runs each; a timer on the window's thread looks for their results, and
// joins a thread before it takes what it made.

#include "plan/Peaks.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

class TWaveSource : public QObject
{
    Q_OBJECT

public:
    explicit TWaveSource(QObject *parent = nullptr);
    ~TWaveSource() override;

    // Builds the peaks of a file on every core; the build of the file before stops.
    void Load(const std::filesystem::path &file);
    // Asks for the samples [first, first + count), per channel; they come with Samples. Once
    // the peaks are whole; the latest wish waits while one stretch is decoded.
    void WantSamples(int64_t first, int64_t count);

signals:
    // The peaks so far (whole: the build has ended).
    void Peaks(std::shared_ptr<const mp3core::TPeaks> peaks, bool whole);
    // Interleaved samples from first on.
    void Samples(int64_t first, std::shared_ptr<const std::vector<int16_t>> samples);

private:
    struct TBuild
    {
        std::atomic<bool> Done{false};
        std::shared_ptr<std::atomic<bool>> Cancel = std::make_shared<std::atomic<bool>>(false);
        mp3core::TPeakSketch Sketch;
        mp3core::TPeaks Peaks;
        std::unique_ptr<mp3core::TSource> Source;
    };
    struct TStretch
    {
        std::atomic<bool> Done{false};
        int64_t First = 0;
        int64_t Count = 0;
        std::vector<int16_t> Samples;
    };
    void Stop();
    void Poll();
    void TakeBuild();
    void StartStretch(int64_t first, int64_t count);

    QTimer poll_;
    std::thread builder_;
    std::shared_ptr<TBuild> build_;
    uint64_t shown_ = 0;                       // the sketch's version last handed over
    std::unique_ptr<mp3core::TSource> source_; // the file, once its peaks are whole
    std::thread stretcher_;
    std::shared_ptr<TStretch> stretch_;
    std::optional<std::pair<int64_t, int64_t>> wanted_;
};

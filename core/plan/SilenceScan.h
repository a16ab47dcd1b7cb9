#pragma once
// Where a recording is silent: the file decoded with libmpg123 (gaplessly, as the player plays
// it, so that a time here is a time of the cut and split jobs) and measured in windows of
// 10 ms. A stretch is silent where every window's level (RMS, in dB below full scale) lies
// under the threshold for at least the minimum length.

#include "format/Source.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mp3core {

struct TSilenceOptions
{
    double ThresholdDb = -48.0;  // below this level a window is silent
    int64_t MinSilenceMs = 1000; // shorter quiet stretches are no silence
    int64_t MinPartMs = 0;       // a part shorter than this merges into the one before
    unsigned Threads = 0;        // decodes at once: 0, every core; 1, one from the start
};

struct TSilence
{
    int64_t StartMs = 0;
    int64_t EndMs = 0;
};

struct TSilenceScan
{
    std::vector<TSilence> Silences;
    int64_t LengthMs = 0;
    std::string Error; // why the file could not be decoded; empty when it was
    bool Stopped = false;
};

// Called with the milliseconds decoded so far; returning false stops the scan.
using TScanProgress = std::function<bool(int64_t doneMs)>;

TSilenceScan FindSilences(const std::filesystem::path &file, const TSilenceOptions &options,
                          const TScanProgress &progress = {});
// The same for a source the caller opened already: each of its streams, without reading its
// frames again. A file of one Layer III stream is decoded in pieces on every core at once
// (see Peaks.h); progress then tells the milliseconds decoded in all, from any of them.
TSilenceScan FindSilences(TSource &source, const TSilenceOptions &options,
                          const TScanProgress &progress = {});

// The cut points: the middle of every silence that does not touch either end of the
// recording, without those that would leave a part shorter than MinPartMs.
std::vector<int64_t> SilenceCutPoints(const TSilenceScan &scan, const TSilenceOptions &options);

// The silences a split that drops them leaves out: those at the cut points, and those at
// either end of the recording.
std::vector<TSilence> SilencesLeftOut(const TSilenceScan &scan, const std::vector<int64_t> &points);

// Each point moved to the middle of the nearest silence whose middle lies within withinMs of
// it; points with no silence that near stay. Sorted, each once.
std::vector<int64_t> AdjustToSilences(const std::vector<int64_t> &points, const TSilenceScan &scan,
                                      int64_t withinMs);

} // namespace mp3core

#pragma once
// What a waveform draws: the file decoded as the player plays it (gaplessly, with libmpg123),
// reduced to the lowest and highest sample of each block, in a pyramid of resolutions. The
// decode runs in pieces on several threads at once: each piece starts a few frames early, on
// the turn of the decoder's synthesis that the whole file's decode has there, so that the
// pieces join to the very samples one decode from the start gives.

#include "format/Source.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace mp3core {

// Samples of one channel in a peak of the finest level.
inline constexpr int64_t PeakBlock = 512;

struct TPeak
{
    int16_t Min = 0;
    int16_t Max = 0;
};

struct TPeaks
{
    long Rate = 0;
    int Channels = 0;
    int64_t Samples = 0; // per channel, as the player plays the first stream
    // Levels[k]: one peak per PeakBlock << (Shift + k) samples, all channels together; the last
    // peak of a level may cover fewer. The last level has one peak. A peak not decoded yet has
    // its Min above its Max.
    std::vector<std::vector<TPeak>> Levels;
    int Shift = 0;     // above 0 in a sketch of a build still running
    std::string Error; // why the file could not be decoded; empty when it was
    bool Stopped = false;
};

// Receives a piece's samples in order: the gapless index of the first sample (per channel),
// interleaved samples and their count per channel. Called on the piece's own thread.
using TSampleSink =
    std::function<void(size_t piece, int64_t first, const int16_t *samples, int64_t count)>;

// The samples a gapless decode of the first stream plays, decoded in `pieces` parts of
// about equal length on as many threads; stops early once *cancel is true (then false).
// error says why a piece could not be decoded.
bool DecodeInPieces(TSource &source, size_t pieces, const TSampleSink &sink, std::string &error,
                    const std::shared_ptr<const std::atomic<bool>> &cancel = {});

// The samples a gapless decode of the first stream plays from `first` (per channel) on, up to
// `count` of them (fewer at the end), interleaved.
bool DecodeStretch(TSource &source, int64_t first, int64_t count, std::vector<int16_t> &samples,
                   std::string &error);

// What a build of peaks has found so far, in coarse peaks (a few thousand) that another
// thread copies while the build runs; the build adds to them as it goes.
class TPeakSketch
{
public:
    // The peaks so far, levels from the coarse one up; Version counts the changes.
    TPeaks Copy() const;
    uint64_t Version() const;

    void Start(const TPeaks &shape, int64_t blocks);
    // Peaks of the finest level, each with its block.
    void Add(const std::vector<std::pair<int64_t, TPeak>> &found);

private:
    mutable std::mutex lock_;
    TPeaks shape_; // rate, channels and samples
    std::vector<TPeak> coarse_;
    uint64_t version_ = 0;
};

// The peaks of the source's first stream, decoded on `threads` threads; what is found so far
// goes to sketch as well, when there is one.
TPeaks BuildPeaks(TSource &source, size_t threads,
                  const std::shared_ptr<const std::atomic<bool>> &cancel = {},
                  TPeakSketch *sketch = nullptr);

// The time of the quietest finest peak within reachMs of ms (ms itself when none is built
// there): where a point snaps to. The nearest of equally quiet ones.
int64_t QuietestNear(const TPeaks &peaks, int64_t ms, int64_t reachMs = 250);

// The pyramid above a finest level: each level halves the one below, to one peak.
std::vector<std::vector<TPeak>> PeakLevels(std::vector<TPeak> finest);

} // namespace mp3core

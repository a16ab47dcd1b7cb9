// The waveform's peaks: decoded in pieces on several threads, they are the peaks of one
// gapless decode from the start, block for block, in every kind of stream.
#include "plan/Peaks.h"
#include "Decode.h"
#include "jobs/JobOutcome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace mp3core;

namespace {

// The finest peaks of interleaved samples, straight from a decode.
std::vector<TPeak> DirectPeaks(const std::vector<int16_t> &samples, int channels)
{
    std::vector<TPeak> peaks;
    const int64_t count = int64_t(samples.size()) / channels;
    for (int64_t b = 0; b * PeakBlock < count; ++b) {
        const auto from = samples.begin() + b * PeakBlock * channels;
        const auto to = samples.begin() + std::min(count, (b + 1) * PeakBlock) * channels;
        const auto [lo, hi] = std::minmax_element(from, to);
        peaks.push_back({*lo, *hi});
    }
    return peaks;
}

TSource Open(const std::filesystem::path &file)
{
    TSource source;
    TJobOutcome outcome;
    EXPECT_TRUE(OpenJobInput(file, source, outcome)) << file;
    return source;
}

bool Same(const std::vector<TPeak> &a, const std::vector<TPeak> &b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const TPeak &x, const TPeak &y) {
               return x.Min == y.Min && x.Max == y.Max;
           });
}

} // namespace

// Pieces joined at frame boundaries give the samples of one decode from the start, exactly, in
// every kind of stream (MPEG-2 and 2.5 in one piece).
TEST(Peaks, PiecesJoinToTheGaplessDecodeInEveryKindOfStream)
{
    TTempDir dir;
    const struct
    {
        const char *name;
        int rate, channels;
        const char *lame;
    } kinds[] = {
        {"cbr", 44100, 2, "-b 128"},    {"vbr", 44100, 2, "-V 2"},
        {"mono", 44100, 1, "-V 5"},     {"joint", 48000, 2, "-m j -b 96"},
        {"lowrate", 44100, 2, "-b 32"}, // small frames: the reservoir reaches far back
        {"mpeg2", 22050, 2, "-b 64"},   {"mpeg25", 8000, 1, "-b 16"},
    };
    for (const auto &k : kinds) {
        const auto file = EncodeWithLame(dir, k.name, 7.3, k.rate, k.channels, k.lame);
        const std::vector<int16_t> direct = GaplessSamples(file);
        ASSERT_FALSE(direct.empty()) << k.name;
        TSource source = Open(file);
        for (size_t pieces : {1, 2, 3, 5}) {
            std::vector<int16_t> joined(direct.size(), 0);
            std::vector<char> seen(direct.size() / size_t(k.channels), 0);
            std::string error;
            ASSERT_TRUE(DecodeInPieces(
                source, pieces,
                [&](size_t, int64_t first, const int16_t *s, int64_t count) {
                    ASSERT_LE(size_t(first + count), seen.size());
                    std::copy(s, s + count * k.channels, joined.begin() + first * k.channels);
                    std::fill(seen.begin() + first, seen.begin() + first + count, 1);
                },
                error))
                << error;
            EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](char c) { return c == 1; }))
                << k.name << " in " << pieces << " pieces: samples missing";
            EXPECT_TRUE(joined == direct) << k.name << " in " << pieces << " pieces";
        }
        // The peaks of the parallel build are the direct decode's, on every level.
        const TPeaks peaks = BuildPeaks(source, 4);
        ASSERT_TRUE(peaks.Error.empty()) << peaks.Error;
        EXPECT_EQ(peaks.Samples, int64_t(direct.size()) / k.channels) << k.name;
        ASSERT_FALSE(peaks.Levels.empty());
        EXPECT_TRUE(Same(peaks.Levels[0], DirectPeaks(direct, k.channels))) << k.name;
        EXPECT_EQ(peaks.Levels.back().size(), 1u);
        const auto [lo, hi] = std::minmax_element(direct.begin(), direct.end());
        EXPECT_EQ(peaks.Levels.back()[0].Min, *lo) << k.name;
        EXPECT_EQ(peaks.Levels.back()[0].Max, *hi) << k.name;
        // A sketch of the build holds its coarse level, and a stretch decoded on its own is the
        // stretch of the whole decode, wherever it starts and ends.
        TPeakSketch sketch;
        const TPeaks built = BuildPeaks(source, 3, {}, &sketch);
        const TPeaks sketched = sketch.Copy();
        ASSERT_LT(size_t(sketched.Shift), built.Levels.size()) << k.name;
        EXPECT_TRUE(Same(sketched.Levels[0], built.Levels[size_t(sketched.Shift)])) << k.name;
        const int64_t total = int64_t(direct.size()) / k.channels;
        for (const auto &[first, count] : std::vector<std::pair<int64_t, int64_t>>{
                 {0, 1000}, {total / 2 - 7, 3001}, {total - 500, 2000}, {total / 3, 1}}) {
            std::vector<int16_t> stretch;
            std::string error;
            ASSERT_TRUE(DecodeStretch(source, first, count, stretch, error)) << error;
            const auto from = direct.begin() + first * k.channels;
            const auto to = direct.begin() + std::min(total, first + count) * k.channels;
            EXPECT_TRUE(std::equal(stretch.begin(), stretch.end(), from, to))
                << k.name << " from " << first;
        }
        // One thread decodes from the start: the direct decode's peaks exactly.
        EXPECT_TRUE(Same(BuildPeaks(source, 1).Levels[0], DirectPeaks(direct, k.channels)))
            << k.name;
    }
}

// A point snaps to the middle of the quietest block within reach: the nearest of equally
// quiet ones; blocks not decoded yet do not count; nothing built, nothing moves.
TEST(Peaks, PointsSnapToTheQuietestBlockWithinReach)
{
    TPeaks peaks;
    peaks.Rate = 51200; // a block of 512 samples is 10 ms
    peaks.Samples = 100 * PeakBlock;
    std::vector<TPeak> finest(100, TPeak{-1000, 1000});
    finest[30] = {-5, 5};
    finest[40] = {-5, 5};
    finest[52] = {32767, -32768}; // not decoded yet
    finest[60] = {0, 0};
    finest[90] = {0, 0};
    peaks.Levels = PeakLevels(finest);
    const struct
    {
        int64_t at, reach, snapped;
    } cases[] = {
        {340, 250, 305},                  // 30 and 40 are as quiet as each other: the nearer one
        {365, 200, 405}, {500, 250, 605}, // silence at 60
        {500, 50, 505},                   // 60 out of reach: all alike, the block there
        {525, 0, 525},                    // block 52 not decoded: nothing to snap to
        {990, 250, 905},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(QuietestNear(peaks, c.at, c.reach), c.snapped) << c.at;
    }
    EXPECT_EQ(QuietestNear(TPeaks{}, 1234), 1234);
}

// The peaks of ten hours at 48 kHz, every level of them, fit in 32 MB.
TEST(Peaks, TenHoursOfPeaksFitIn32MB)
{
    const int64_t samples = int64_t(10) * 3600 * 48000;
    const auto levels = PeakLevels(std::vector<TPeak>(size_t(samples / PeakBlock + 1)));
    size_t bytes = 0;
    for (const auto &level : levels) {
        bytes += level.capacity() * sizeof(TPeak);
    }
    EXPECT_LE(bytes, size_t(32) << 20);
}

// Each level halves the one below it; an odd peak at the end stands alone.
TEST(Peaks, LevelsHalveDownToOnePeak)
{
    const std::vector<TPeak> finest = {{-1, 1}, {-5, 2}, {0, 9}, {-3, 3}, {-7, 0}};
    const auto levels = PeakLevels(finest);
    ASSERT_EQ(levels.size(), 4u);
    EXPECT_TRUE(Same(levels[1], {{-5, 2}, {-3, 9}, {-7, 0}}));
    EXPECT_TRUE(Same(levels[2], {{-5, 9}, {-7, 0}}));
    EXPECT_TRUE(Same(levels[3], {{-7, 9}}));
}

// A cancel stops every piece at its next block, and the peaks say so.
TEST(Peaks, ACancelStopsTheBuild)
{
    TTempDir dir;
    const auto file = EncodeWithLame(dir, "c", 20, 44100, 2, "-b 128");
    TSource source = Open(file);
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    std::map<size_t, int64_t> after; // samples each piece handed on after the cancel
    std::string error;
    const bool done = DecodeInPieces(
        source, 2,
        [&](size_t piece, int64_t, const int16_t *, int64_t count) {
            if (cancel->load()) {
                after[piece] += count;
            }
            *cancel = true; // the first block of any piece cancels
        },
        error, cancel);
    EXPECT_FALSE(done);
    EXPECT_TRUE(error.empty()) << error;
    for (const auto &[piece, count] : after) {
        EXPECT_LE(count, 1152 * 8) << "piece " << piece << " went on past one block";
    }
    const TPeaks stopped = BuildPeaks(source, 2, cancel);
    EXPECT_TRUE(stopped.Stopped);
    EXPECT_TRUE(stopped.Levels.empty());
}

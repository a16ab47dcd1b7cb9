// Finding silences by decoding: generated recordings with known quiet stretches.
#include "Decode.h"
#include "plan/SilenceScan.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace mp3core;

namespace {

constexpr int Rate = 44100;

// Stretches of a 440 Hz tone, of noise at a level in dB, or of digital silence.
struct TPiece
{
    enum
    {
        Tone,
        Noise,
        Quiet
    } kind;
    double seconds;
    double levelDb = -12;
};

std::vector<int16_t> Render(const std::vector<TPiece> &pieces)
{
    std::vector<int16_t> samples;
    uint32_t noise = 99;
    int64_t t = 0;
    for (const TPiece &p : pieces) {
        const double amplitude = 32767 * std::pow(10.0, p.levelDb / 20);
        for (int64_t i = 0; i < int64_t(p.seconds * Rate); ++i, ++t) {
            double v = 0;
            if (p.kind == TPiece::Tone) {
                v = amplitude * std::sin(2 * M_PI * 440 * double(t) / Rate);
            } else if (p.kind == TPiece::Noise) {
                noise = noise * 1664525u + 1013904223u;
                v = amplitude * 1.7 * (double(noise >> 8) / double(1 << 24) - 0.5) * 2;
            }
            samples.push_back(int16_t(std::clamp(v, -32767.0, 32767.0)));
            samples.push_back(samples.back());
        }
    }
    return samples;
}

TEST(Silences, EveryGapIsFoundAtItsMiddleAndNothingElse)
{
    struct Case
    {
        const char *name;
        std::vector<TPiece> pieces;
        TSilenceOptions options;
        std::vector<int64_t> cuts; // ms
    };
    const TSilenceOptions plain;
    TSilenceOptions longParts;
    longParts.MinPartMs = 3000;
    const std::vector<Case> cases = {
        {"tone, gaps, tone",
         {{TPiece::Tone, 2},
          {TPiece::Quiet, 1.5},
          {TPiece::Tone, 2},
          {TPiece::Quiet, 2},
          {TPiece::Tone, 1},
          {TPiece::Quiet, 0.5},
          {TPiece::Tone, 1}},
         plain,
         {2750, 6500}},
        {"quiet noise is silence, loud noise is not",
         {{TPiece::Noise, 2, -20},
          {TPiece::Noise, 1.5, -60},
          {TPiece::Noise, 2, -30},
          {TPiece::Noise, 1.2, -55},
          {TPiece::Noise, 2, -25}},
         plain,
         {2750, 6100}},
        {"silence at the very start and end cuts nothing",
         {{TPiece::Quiet, 1.5}, {TPiece::Tone, 3}, {TPiece::Quiet, 1.5}},
         plain,
         {}},
        {"short parts merge into the one before",
         {{TPiece::Tone, 2},
          {TPiece::Quiet, 1.2},
          {TPiece::Tone, 1},
          {TPiece::Quiet, 1.2},
          {TPiece::Tone, 3},
          {TPiece::Quiet, 1.2},
          {TPiece::Tone, 1}},
         longParts,
         {4800}}, // 2600 would leave 2.6 s before it, 9000 1.0 s after it
    };
    TTempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = EncodeSamplesWithLame(dir, "s", Render(c.pieces), Rate, 2, "-V 2");
        const TSilenceScan scan = FindSilences(file, c.options);
        EXPECT_EQ(scan.Error, "");
        const std::vector<int64_t> cuts = SilenceCutPoints(scan, c.options);
        ASSERT_EQ(cuts.size(), c.cuts.size());
        for (size_t i = 0; i < cuts.size(); ++i) {
            EXPECT_NEAR(double(cuts[i]), double(c.cuts[i]), 50.0) << "cut " << i;
        }
    }
}

// Decoded in pieces on several threads at once, a recording has the silences, the length and
// the cut points of one decode from the start, whatever the number of pieces.
TEST(Silences, PiecesFindWhatOneDecodeFinds)
{
    TTempDir dir;
    const std::vector<TPiece> talk = {
        {TPiece::Tone, 1.7}, {TPiece::Quiet, 1.3},      {TPiece::Noise, 2.2}, {TPiece::Quiet, 1.1},
        {TPiece::Tone, 0.9}, {TPiece::Noise, 1.5, -50}, {TPiece::Tone, 2.0},  {TPiece::Quiet, 0.7}};
    const struct
    {
        int rate;
        const char *lame;
    } kinds[] = {{44100, "-V 2"}, {44100, "-b 128"}, {22050, "-b 64"}};
    for (const auto &k : kinds) {
        SCOPED_TRACE(k.lame + std::to_string(k.rate));
        std::vector<int16_t> samples = Render(talk);
        const auto file = EncodeSamplesWithLame(dir, "p", samples, k.rate, 2, k.lame);
        TSilenceOptions options;
        options.MinSilenceMs = 500;
        options.Threads = 1;
        TSource source;
        source.Stream = std::make_unique<TFileStream>(file, fmOpenRead);
        ASSERT_TRUE(source.ReadStreams());
        const TSilenceScan one = FindSilences(source, options);
        ASSERT_EQ(one.Error, "");
        ASSERT_GE(one.Silences.size(), 3u);
        for (unsigned threads : {2u, 3u, 7u}) {
            options.Threads = threads;
            const TSilenceScan many = FindSilences(source, options);
            EXPECT_EQ(many.Error, "");
            EXPECT_EQ(many.LengthMs, one.LengthMs) << threads;
            ASSERT_EQ(many.Silences.size(), one.Silences.size()) << threads;
            for (size_t i = 0; i < one.Silences.size(); ++i) {
                EXPECT_EQ(many.Silences[i].StartMs, one.Silences[i].StartMs) << threads;
                EXPECT_EQ(many.Silences[i].EndMs, one.Silences[i].EndMs) << threads;
            }
            EXPECT_EQ(SilenceCutPoints(many, options), SilenceCutPoints(one, options));
        }
    }
}

TEST(Silences, TimeStepsMoveToTheNearestSilence)
{
    TSilenceScan scan;
    scan.LengthMs = 20000;
    scan.Silences = {{0, 1500}, {2500, 3500}, {6400, 7600}, {19000, 20000}};
    // 3000 moves to 3000 (a silence's middle), 6000 to 7000, 9000 has none within 1.5 s, and
    // the silences at the ends are no points.
    EXPECT_EQ(AdjustToSilences({1000, 3000, 6000, 9000, 19000}, scan, 1500),
              (std::vector<int64_t>{1000, 3000, 7000, 9000, 19000}));
    EXPECT_EQ(AdjustToSilences({2600, 3400}, scan, 1000), (std::vector<int64_t>{3000}))
        << "two points drawn to one silence make one";
}

// The decoder reads what the frame walk reads: a leading tag whose size runs past the end of
// the file, which the walk steps over, does not stop it either.
TEST(Silences, ATagWhoseSizeRunsPastTheFileIsSteppedOver)
{
    TTempDir dir;
    const auto file = EncodeSamplesWithLame(
        dir, "s", Render({{TPiece::Tone, 2}, {TPiece::Quiet, 1.5}, {TPiece::Tone, 2}}), Rate, 2,
        "-V 2");
    Bytes damaged = Id3v2Tag(200);
    damaged[6] = 0x7F; // 256 MB
    Append(damaged, ReadFile(file));
    WriteFile(dir / "damaged.mp3", damaged);
    const TSilenceScan whole = FindSilences(file, {});
    const TSilenceScan scan = FindSilences(dir / "damaged.mp3", {});
    EXPECT_EQ(scan.Error, "");
    EXPECT_EQ(scan.LengthMs, whole.LengthMs);
    EXPECT_EQ(SilenceCutPoints(scan, {}), SilenceCutPoints(whole, {}));
    EXPECT_EQ(SilenceCutPoints(scan, {}).size(), 1u);
}

TEST(Silences, AFileThatDoesNotDecodeSaysSo)
{
    TTempDir dir;
    WriteFile(dir / "junk.mp3", Bytes(5000, 0x00));
    const TSilenceScan scan = FindSilences(dir / "junk.mp3", {});
    EXPECT_NE(scan.Error, "");
    EXPECT_TRUE(scan.Silences.empty());
}

TEST(Silences, AScanCanBeStopped)
{
    TTempDir dir;
    const auto file = EncodeSamplesWithLame(
        dir, "long", Render({{TPiece::Tone, 25}, {TPiece::Quiet, 2}, {TPiece::Tone, 5}}), Rate, 2,
        "-b 64");
    int calls = 0;
    const TSilenceScan scan = FindSilences(file, {}, [&](int64_t done) {
        ++calls;
        EXPECT_GE(done, 10000);
        return false;
    });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(scan.Stopped);
    EXPECT_LT(scan.LengthMs, 25000);
}

} // namespace

// What an output holds: exactly the samples asked for, as a gapless player plays them, behind
// an information frame whose counts, seek table and CRCs describe the output itself.
#include "Decode.h"
#include "Fixtures.h"
#include "io/Arith.h"
#include "io/Crc16.h"
#include "jobs/CutJob.h"
#include "jobs/SplitJob.h"

#include <gtest/gtest.h>

#include <set>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

struct Format
{
    const char *name;
    int sampleRate;
    int channels;
    const char *lameArgs;
    // libmpg123 sums its synthesis filter in an order that turns with every granule; an output
    // of one-granule frames (MPEG-2 and 2.5) cannot always be decoded in the source's turn, and
    // then a few of its samples round one step apart; ffmpeg decodes these outputs bit for bit.
    bool bitExact = true;
};

void PrintTo(const Format &f, std::ostream *os)
{
    *os << f.name;
}

uint32_t BigEndian(const Bytes &b, size_t at, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        v = (v << 8) | b[at + size_t(i)];
    }
    return v;
}

class ExactOutput : public ::testing::TestWithParam<Format>
{
protected:
    TTempDir dir;
    fs::path source;
    std::vector<int16_t> played; // the source as a gapless player plays it
    int channels = 0;

    void SetUp() override
    {
        const Format &f = GetParam();
        source = EncodeWithLame(dir, "src", 6.0, f.sampleRate, f.channels, f.lameArgs);
        played = GaplessSamples(source);
        channels = f.channels;
        ASSERT_FALSE(played.empty());
    }

    void ExpectSamples(const std::vector<int16_t> &got, const std::vector<int16_t> &want)
    {
        ASSERT_EQ(got.size(), want.size());
        if (GetParam().bitExact) {
            EXPECT_TRUE(got == want) << "bit for bit";
            return;
        }
        size_t differing = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            if (got[i] != want[i]) {
                ++differing;
                EXPECT_LE(std::abs(got[i] - want[i]), 1) << "sample " << i;
            }
        }
        EXPECT_LE(differing, got.size() / 1000) << "a few roundings apart at most";
    }

    std::vector<int16_t> Samples(int64_t fromMs, std::optional<int64_t> toMs) const
    {
        // t ms is sample round(t x rate / 1000), halves to the even neighbour.
        const auto at = [&](int64_t ms) {
            return std::min(played.size(), size_t(RoundHalfEven(ms * GetParam().sampleRate, 1000)) *
                                               size_t(channels));
        };
        return std::vector<int16_t>(played.begin() + long(at(fromMs)),
                                    toMs ? played.begin() + long(at(*toMs)) : played.end());
    }

    // The information frame's fields against the output's own frames.
    void ExpectInfoFrameDescribes(const fs::path &out)
    {
        const Bytes b = ReadFile(out);
        const TFrameInfo info = DecodeFrameInfo(b.data());
        ASSERT_TRUE(info.Valid);
        const bool mono = (b[3] >> 6) == 3;
        const size_t xing = 4 + size_t(info.MPEGVersion == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
        ASSERT_TRUE(std::equal(b.begin() + long(xing), b.begin() + long(xing) + 4, "Xing") ||
                    std::equal(b.begin() + long(xing), b.begin() + long(xing) + 4, "Info"));
        const uint32_t frames = BigEndian(b, xing + 8, 4);
        EXPECT_EQ(BigEndian(b, xing + 12, 4), b.size()) << "bytes";
        const TDecodeResult decoded = DecodeFile(out);
        EXPECT_EQ(decoded.errors, 0) << decoded.message;
        EXPECT_EQ(long(frames), decoded.frames);
        const size_t lame = xing + 120;
        const uint32_t delay = BigEndian(b, lame + 21, 3) >> 12;
        const uint32_t padding = BigEndian(b, lame + 21, 3) & 0xFFF;
        EXPECT_EQ(int64_t(frames) * info.SamplesPerFrame - delay - padding,
                  int64_t(GaplessSamples(out).size()) / channels);
        EXPECT_EQ(BigEndian(b, lame + 28, 4), b.size()) << "music length";
        const size_t audio = size_t(info.FrameLength);
        EXPECT_EQ(BigEndian(b, lame + 32, 2), Crc16Bytewise(0, b.data() + audio, b.size() - audio));
        EXPECT_EQ(BigEndian(b, lame + 34, 2), Crc16Bytewise(0, b.data(), lame + 34));
        // The seek table: entry 0 is 0, and entry t points, in 256ths of the output's bytes,
        // within a frame of the frame that holds the sample t hundredths into those played.
        std::vector<size_t> starts;
        std::vector<int> bitrates;
        for (size_t at = audio; at + 4 <= b.size();) {
            const TFrameInfo f = DecodeFrameInfo(b.data() + at);
            ASSERT_TRUE(f.Valid) << at;
            starts.push_back(at);
            bitrates.push_back(f.Bitrate);
            at += size_t(f.FrameLength);
        }
        EXPECT_EQ(b[xing + 16], 0);
        const int64_t playedSamples = int64_t(GaplessSamples(out).size()) / channels;
        for (size_t t = 1; t < 100; ++t) {
            EXPECT_LE(b[xing + 16 + t - 1], b[xing + 16 + t]) << "the seek table rises";
            const int64_t sample = 529 + delay + int64_t(t) * playedSamples / 100;
            const size_t frame = std::min(starts.size() - 1, size_t(sample / info.SamplesPerFrame));
            const double at = double(starts[frame]) * 256.0 / double(b.size());
            const double frameLength =
                double(starts[std::min(frame + 1, starts.size() - 1)] - starts[frame]) * 256.0 /
                double(b.size());
            EXPECT_NEAR(double(b[xing + 16 + t]), at, 1.0 + frameLength) << t;
        }
        // A CBR output stays CBR: its silent frames in front take the stream's bitrate, but
        // for one of a higher bitrate where the reservoir needs more room than one has. Its
        // information frame says "Info" only when every frame has one bitrate.
        if (std::string(GetParam().lameArgs).find("-b ") != std::string::npos) {
            const int own = bitrates.back();
            const auto other = std::count_if(bitrates.begin(), bitrates.end(),
                                             [&](int kbps) { return kbps != own; });
            EXPECT_LE(other, 1) << "at most the frame that holds the reservoir";
            EXPECT_TRUE(other == 0 || bitrates[0] != own || bitrates[1] != own);
            EXPECT_TRUE(std::equal(b.begin() + long(xing), b.begin() + long(xing) + 4,
                                   other == 0 ? "Info" : "Xing"));
            EXPECT_EQ(b[lame + 9] & 0x0F, other == 0 ? 1 : 0) << "the LAME tag's method: CBR";
            otherBitrate = int(other);
        }
    }
    int otherBitrate = 0; // frames of another bitrate in the last output
};

TEST_P(ExactOutput, CutsHoldExactlyTheSamplesAsked)
{
    const struct
    {
        int64_t from;
        std::optional<int64_t> to;
    } fixed[] = {{0, 1234}, {1234, 4567}, {777, 778}, {3001, std::nullopt}, {0, std::nullopt}};
    std::vector<std::remove_const_t<std::remove_reference_t<decltype(fixed[0])>>> cuts(
        std::begin(fixed), std::end(fixed));
    // Four frames in turn: each first wanted frame decoded in another turn of the synthesis.
    const int64_t frameMs =
        (GetParam().sampleRate > 24000 ? 1152000 : 576000) / GetParam().sampleRate;
    for (int64_t n = 0; n < 4; ++n) {
        cuts.push_back({2000 + n * (frameMs + 1), std::nullopt});
    }
    for (const auto &c : cuts) {
        SCOPED_TRACE(c.from);
        const fs::path out = dir / "cut.mp3";
        ASSERT_EQ(RunCut({source, out, c.from, c.to}).Status, TJobStatus::Done);
        ExpectSamples(GaplessSamples(out), Samples(c.from, c.to));
        ExpectInfoFrameDescribes(out);
        if (c.from == 0) {
            EXPECT_EQ(otherBitrate, 0) << "no reservoir to hold: every frame of one bitrate";
        }
    }
}

TEST_P(ExactOutput, SplitPartsPlayedInTurnAreTheSource)
{
    TSplitJob job;
    job.Input = source;
    job.Folder = dir.Path();
    job.BaseName = "p";
    job.Segments = {{0, 1111, {}}, {1111, 2500, {}}, {2500, 3333, {}}, {3333, std::nullopt, {}}};
    const TJobOutcome r = RunSplit(job);
    ASSERT_EQ(r.Status, TJobStatus::Done);
    ASSERT_EQ(r.Written.size(), 4u);
    std::vector<int16_t> joined;
    for (const fs::path &part : r.Written) {
        const std::vector<int16_t> s = GaplessSamples(part);
        joined.insert(joined.end(), s.begin(), s.end());
        ExpectInfoFrameDescribes(part);
    }
    ExpectSamples(joined, played); // no sample lost or doubled
}

INSTANTIATE_TEST_SUITE_P(Lame, ExactOutput,
                         ::testing::Values(Format{"Cbr128", 44100, 2, "-b 128"},
                                           Format{"Vbr2", 44100, 2, "-V 2"},
                                           Format{"Mono44k", 44100, 1, "-V 4 -m m"},
                                           Format{"Mpeg2Mono22k", 22050, 1, "-b 64 -m m", false},
                                           Format{"Mpeg25At8k", 8000, 1, "-b 8 -m m", false},
                                           Format{"Crc", 44100, 2, "-b 128 -p"},
                                           Format{"Joint48k", 48000, 2, "-b 192 -m j"}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

TEST(Crc16, TheFastFormAgreesWithTheByteAtATimeOne)
{
    // Lengths around the eight-byte tables and both widths of folding (64 and 256 bytes a
    // round: below 256 bytes the narrow one runs, on a processor that has the wide one too),
    // chained and not.
    uint32_t noise = 7;
    Bytes data(5000);
    for (uint8_t &b : data) {
        noise = noise * 1664525u + 1013904223u;
        b = uint8_t(noise >> 24);
    }
    EXPECT_EQ(Crc16(0, reinterpret_cast<const uint8_t *>("123456789"), 9), 0xBB3D) << "CRC-16/ARC";
    for (const size_t n :
         {0, 1, 7, 8, 63, 64, 65, 127, 128, 129, 255, 256, 257, 511, 512, 575, 1000, 4999, 5000}) {
        for (const uint16_t start : {uint16_t(0), uint16_t(0xBEEF)}) {
            EXPECT_EQ(Crc16(start, data.data(), n), Crc16Bytewise(start, data.data(), n)) << n;
        }
        const uint16_t chained = Crc16(Crc16(0, data.data(), n), data.data() + n, 5000 - n);
        EXPECT_EQ(chained, Crc16Bytewise(0, data.data(), 5000)) << n;
    }
}

} // namespace

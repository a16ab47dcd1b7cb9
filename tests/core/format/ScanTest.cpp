// Finding the first frame: leading tags, junk, false syncs, information frames and the length
// estimate for CBR and VBR files.
#include "Fixtures.h"
#include "format/FrameIndex.h"
#include "format/MPEGAFHdr.h"
#include "io/Arith.h"

#include <gtest/gtest.h>

using namespace mp3core;

namespace {

const THeaderSpec Cbr128{}; // MPEG-1 Layer III, 128 kbps, 44100 Hz: 417-byte frames

int64_t RoundHalfEvenMs(int64_t bytesAt128)
{
    return RoundHalfEven(bytesAt128 * 8, 128);
}

struct Scan
{
    bool found = false;
    TMPEGAFHdr hdr;
};

Scan ScanBytes(const Bytes &bytes)
{
    TTempDir dir;
    WriteFile(dir / "in.mp3", bytes);
    TFileStream stream(dir / "in.mp3", fmOpenRead);
    Scan s;
    s.found = s.hdr.ReadFirstFrame(stream);
    return s;
}

TEST(ReadFirstFrame, CbrFileOfFourMillionBytes)
{
    Bytes bytes;
    while (bytes.size() + 417 <= 4000000) {
        Append(bytes, HeaderBytes(Cbr128));
        bytes.resize(bytes.size() + 413, 0x00);
    }
    bytes.resize(4000000, 0x00);
    for (size_t i = 0; i + 417 <= bytes.size(); i += 417) {
        bytes[i + 3] = 0x64;
    }
    const Scan s = ScanBytes(bytes);
    ASSERT_TRUE(s.found);
    EXPECT_EQ(s.hdr.MPEGVersion, 1);
    EXPECT_EQ(s.hdr.Layer, 3);
    EXPECT_EQ(s.hdr.Bitrate, 128);
    EXPECT_EQ(s.hdr.SampleRate, 44100);
    EXPECT_EQ(s.hdr.FrameLength, 417);
    EXPECT_EQ(s.hdr.ChannelMode, 1);
    EXPECT_EQ(s.hdr.ModeExtension, 2);
    EXPECT_EQ(s.hdr.FrameCount, 9592);
    EXPECT_EQ(s.hdr.Duration, 249992) << "9592 frames of 417 bytes at 128 kbps";
    EXPECT_FALSE(s.hdr.VBR);
    EXPECT_EQ(s.hdr.AudioStart, 0);
    EXPECT_EQ(s.hdr.AudioEnd, 9592 * 417) << "the frame cut short by the file's end is not audio";
}

TEST(ReadFirstFrame, NothingToFind)
{
    EXPECT_FALSE(ScanBytes({}).found);
    EXPECT_FALSE(ScanBytes({0xFF, 0xFB, 0x90}).found);
    EXPECT_FALSE(ScanBytes(Bytes(50000, 0x00)).found);
    // A lone header whose frame runs past the end of the file is no frame.
    Bytes lone = HeaderBytes(Cbr128);
    lone.resize(300, 0);
    EXPECT_FALSE(ScanBytes(lone).found);
    // Free format headers have no length to check against.
    Bytes free;
    for (int i = 0; i < 20; ++i) {
        Append(free, {0xFF, 0xFB, 0x00, 0x00});
        free.resize(free.size() + 400, 0);
    }
    EXPECT_FALSE(ScanBytes(free).found);
}

TEST(ReadFirstFrame, OneFrameEndingAtTheEndOfTheFile)
{
    const Scan s = ScanBytes(Frame(Cbr128));
    ASSERT_TRUE(s.found);
    EXPECT_EQ(s.hdr.FrameCount, 1);
    EXPECT_EQ(s.hdr.Duration, 26); // 417 * 8 / 128 = 26.06
}

// Where the first real frame starts after leading bytes of various kinds.
struct LeadCase
{
    const char *name;
    Bytes lead;
};

void PrintTo(const LeadCase &c, std::ostream *os)
{
    *os << c.name;
}

class LeadingBytes : public ::testing::TestWithParam<LeadCase>
{
};

TEST_P(LeadingBytes, FirstFrameFollowsThem)
{
    Bytes bytes = GetParam().lead;
    const auto start = int64_t(bytes.size());
    AppendFrames(bytes, Cbr128, 50);
    const Scan s = ScanBytes(bytes);
    ASSERT_TRUE(s.found);
    EXPECT_EQ(s.hdr.AudioStart, start);
    EXPECT_EQ(s.hdr.Bitrate, 128);
    EXPECT_EQ(s.hdr.FrameCount, 50);
    EXPECT_EQ(s.hdr.Duration, RoundHalfEvenMs(50 * 417));
}

Bytes Junk(size_t n, uint8_t fill = 0x00)
{
    return Bytes(n, fill);
}

Bytes WithFakeHeaders()
{
    // Syncs that decode as valid headers but are not followed by a frame of their stream.
    Bytes b = Junk(40);
    Append(b, {0xFF, 0xFB, 0x90, 0x64}); // a 128 kbps header with nothing behind it
    Append(b, Junk(200));
    Append(b, {0xFF, 0xF3, 0x80, 0xC4}); // an MPEG-2 header
    Append(b, Junk(300));
    Append(b, {0xFF, 0xE0, 0x12, 0x34}); // a reserved layer
    Append(b, Junk(7));
    return b;
}

Bytes CoverArtWithSyncs()
{
    Bytes body(300000, 0x11);
    for (size_t i = 1000; i + 4 < body.size(); i += 4099) {
        body[i] = 0xFF;
        body[i + 1] = 0xFB;
        body[i + 2] = 0x90;
        body[i + 3] = 0x64;
    }
    Bytes tag = Id3v2Tag(uint32_t(body.size()));
    std::copy(body.begin(), body.end(), tag.begin() + 10);
    return tag;
}

Bytes TwoTagsAndFooter()
{
    Bytes b = Id3v2Tag(500, true);
    Append(b, Id3v2Tag(20000));
    Append(b, Junk(10000));
    return b;
}

INSTANTIATE_TEST_SUITE_P(Scan, LeadingBytes,
                         ::testing::Values(LeadCase{"None", {}},
                                           LeadCase{"HeaderAtBlockEnd", Junk(124)},
                                           LeadCase{"HeaderAtLastBlockPosition", Junk(127)},
                                           LeadCase{"HeaderStraddlingBlocks", Junk(126)},
                                           LeadCase{"JunkNearWindowEnd", Junk(10235)},
                                           LeadCase{"FakeHeaders", WithFakeHeaders()},
                                           LeadCase{"Id3v2WithCoverArt", CoverArtWithSyncs()},
                                           LeadCase{"TwoId3v2TagsAndJunk", TwoTagsAndFooter()}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ReadFirstFrame, WindowEndsTenKilobytesAfterTheTags)
{
    for (const size_t junk : {10239, 10240}) {
        Bytes bytes = Id3v2Tag(100);
        Append(bytes, Junk(junk));
        AppendFrames(bytes, Cbr128, 20);
        EXPECT_EQ(ScanBytes(bytes).found, junk < 10240) << junk;
    }
}

TEST(ReadFirstFrame, SyncInsideAudioDataIsNotTheFirstFrame)
{
    // Junk whose fake header is followed, one frame length later, by the real first frame:
    // it points at a frame of another stream (MPEG-2), so it is rejected.
    Bytes bytes = {0xFF, 0xF3, 0x80, 0xC4};
    bytes.resize(208, 0);
    AppendFrames(bytes, Cbr128, 10);
    const Scan s = ScanBytes(bytes);
    ASSERT_TRUE(s.found);
    EXPECT_EQ(s.hdr.AudioStart, 208);
    EXPECT_EQ(s.hdr.MPEGVersion, 1);
}

// Junk after the audio (zeros an editor padded with, a frame cut off, noise, another file's
// frames) is not audio: the length, the count and every range stop at the last whole
// frame, found once, whatever the number of cut points planned past it.
TEST(ReadFirstFrame, JunkAfterTheAudioIsNotAudio)
{
    Bytes noise(70000);
    for (size_t i = 0; i < noise.size(); ++i) {
        noise[i] = uint8_t(i * 2654435761u >> 13);
    }
    Bytes otherStream; // frames of another file: MPEG-2 at 22 kHz
    AppendFrames(otherStream, THeaderSpec{2, 3, 9, 0}, 5);
    Bytes cutOff = Frame(Cbr128);
    cutOff.resize(300);
    for (const bool vbr : {false, true}) {
        for (const auto &[name, junk] : std::vector<std::pair<const char *, Bytes>>{
                 {"zeros", Bytes(3 << 20, 0x00)},
                 {"a frame cut off", cutOff},
                 {"noise", noise},
                 {"another stream's frames", otherStream}}) {
            SCOPED_TRACE(std::string(name) + (vbr ? " after VBR" : " after CBR"));
            Bytes bytes;
            if (vbr) {
                AppendVbrFrames(bytes, 300);
            } else {
                AppendFrames(bytes, Cbr128, 300);
            }
            const size_t audioEnd = bytes.size();
            Append(bytes, junk);
            Append(bytes, Id3v1Tag("after the junk"));
            TTempDir dir;
            WriteFile(dir / "in.mp3", bytes);
            TFileStream stream(dir / "in.mp3", fmOpenRead);
            TMPEGAFHdr hdr;
            ASSERT_TRUE(hdr.ReadFirstFrame(stream));
            EXPECT_EQ(hdr.AudioEnd, int64_t(audioEnd));
            EXPECT_EQ(hdr.FrameCount, 300);
            EXPECT_EQ(hdr.Duration, vbr ? 7837 : RoundHalfEvenMs(300 * 417));
            // Every time past the audio maps to its end, on a CBR file by arithmetic.
            for (int64_t ms = 7900; ms < 200000; ms += 997) {
                ASSERT_EQ(hdr.FrameOffsetAt(stream, ms), int64_t(audioEnd)) << ms;
            }
        }
    }
}

TEST(ReadFirstFrame, TrailingTagsAreNotAudio)
{
    Bytes bytes;
    AppendFrames(bytes, Cbr128, 100);
    Append(bytes, ApeTag(1000, true));
    Append(bytes, Id3v1Tag("title"));
    const Scan s = ScanBytes(bytes);
    ASSERT_TRUE(s.found);
    EXPECT_EQ(s.hdr.AudioEnd, 100 * 417);
    EXPECT_EQ(s.hdr.FrameCount, 100);
    EXPECT_EQ(s.hdr.Duration, RoundHalfEvenMs(100 * 417));

    Bytes apeOnly;
    AppendFrames(apeOnly, Cbr128, 10);
    Append(apeOnly, ApeTag(64, false));
    EXPECT_EQ(ScanBytes(apeOnly).hdr.AudioEnd, 10 * 417);
}

TEST(ReadFirstFrame, XingFrameMakesTheFileVbr)
{
    THeaderSpec low = Cbr128;
    low.bitrateIndex = 5; // 64 kbps
    THeaderSpec high = Cbr128;
    high.bitrateIndex = 14; // 320 kbps
    Bytes bytes = XingFrame(Cbr128, 100);
    int64_t audio = 0;
    for (int i = 0; i < 100; ++i) {
        const Bytes f = Frame(i % 4 == 0 ? high : low);
        audio += int64_t(f.size());
        Append(bytes, f);
    }
    const Scan s = ScanBytes(bytes);
    ASSERT_TRUE(s.found);
    EXPECT_TRUE(s.hdr.VBR);
    EXPECT_EQ(s.hdr.AudioStart, 417) << "the Xing frame is not audio";
    EXPECT_EQ(s.hdr.FrameCount, 100);
    EXPECT_EQ(s.hdr.Duration, 2612); // 100 * 1152 / 44100 s
    EXPECT_EQ(s.hdr.Bitrate, RoundHalfEven(audio * 8, 2612)) << "the average bitrate";
    EXPECT_EQ(s.hdr.FrameLength, 1044) << "the first audio frame's header is described";
}

TEST(ReadFirstFrame, DifferingBitratesWithoutXingMakeTheFileVbr)
{
    THeaderSpec low = Cbr128;
    low.bitrateIndex = 1; // 32 kbps: 104 bytes
    Bytes bytes;
    AppendFrames(bytes, Cbr128, 10); // 4170 bytes
    AppendFrames(bytes, low, 30);    // 3120 bytes
    const Scan s = ScanBytes(bytes);
    ASSERT_TRUE(s.found);
    EXPECT_TRUE(s.hdr.VBR);
    EXPECT_EQ(s.hdr.FrameCount, 40) << "counted by walking the frames";
    EXPECT_EQ(s.hdr.Duration, 1045); // 40 * 1152 / 44100 s = 1044.9 ms
    EXPECT_EQ(s.hdr.Bitrate, 56);    // 7290 bytes * 8 / 1045 ms = 55.8 kbps
}

TEST(ReadFirstFrame, InfoFrameIsSkippedButTheFileStaysCbr)
{
    Bytes bytes = XingFrame(Cbr128, 30, false);
    AppendFrames(bytes, Cbr128, 30);
    const Scan s = ScanBytes(bytes);
    ASSERT_TRUE(s.found);
    EXPECT_FALSE(s.hdr.VBR);
    EXPECT_EQ(s.hdr.AudioStart, 417);
    EXPECT_EQ(s.hdr.FrameCount, 30);
}

TEST(ReadFirstFrame, Mpeg25AndLayerTwo)
{
    THeaderSpec m25{3, 3, 4, 0}; // MPEG-2.5 Layer III, 32 kbps, 11025 Hz
    Bytes bytes;
    AppendFrames(bytes, m25, 20);
    Scan s = ScanBytes(bytes);
    ASSERT_TRUE(s.found);
    EXPECT_EQ(s.hdr.MPEGVersion, 3);
    EXPECT_EQ(s.hdr.SampleRate, 11025);
    EXPECT_EQ(s.hdr.FrameLength, 208);
    EXPECT_EQ(s.hdr.SamplesPerFrame, 576);

    THeaderSpec l2{1, 2, 10, 1}; // MPEG-1 Layer II, 192 kbps, 48000 Hz
    bytes.clear();
    AppendFrames(bytes, l2, 20);
    s = ScanBytes(bytes);
    ASSERT_TRUE(s.found);
    EXPECT_EQ(s.hdr.Layer, 2);
    EXPECT_EQ(s.hdr.FrameLength, 576);
    EXPECT_EQ(s.hdr.Duration, 480); // 20 frames of 24 ms
}

TEST(ReadFirstFrame, FindsTheSameHeaderEveryTime)
{
    Bytes bytes = Id3v2Tag(3000);
    AppendFrames(bytes, Cbr128, 30);
    TTempDir dir;
    WriteFile(dir / "in.mp3", bytes);
    TFileStream stream(dir / "in.mp3", fmOpenRead);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(stream));
    const auto first = std::make_tuple(hdr.AudioStart, hdr.FrameCount, hdr.Duration, hdr.Bitrate);
    stream.Seek(0, soBeginning);
    ASSERT_TRUE(hdr.ReadFirstFrame(stream));
    EXPECT_EQ(first, std::make_tuple(hdr.AudioStart, hdr.FrameCount, hdr.Duration, hdr.Bitrate));
}

} // namespace

namespace {

// The index keeps every step-th frame and thins itself when full: a query lands on the last
// entry at or before the frame asked for, never more than a step before it.
TEST(FrameIndex, KeepsEveryStepAndThinsWhenFull)
{
    TFrameIndex index;
    index.Reset(1000);
    const int64_t frames = 3 * int64_t(TFrameIndex::Capacity) + 5;
    for (int64_t n = 1; n < frames; ++n) {
        if (n == index.Wanted()) {
            index.Add(1000 + 10 * n);
        }
    }
    EXPECT_EQ(index.Step(), 4) << "full twice: every fourth frame";
    const struct
    {
        int64_t asked, number;
    } cases[] = {{0, 0},
                 {3, 0},
                 {4, 4},
                 {4097, 4096},
                 {frames - 1, frames - 1 - (frames - 1) % 4},
                 {frames + 100, (frames - 1) / 4 * 4},
                 {-5, 0}};
    for (const auto &c : cases) {
        const TFrameIndex::TEntry e = index.AtOrBefore(c.asked);
        EXPECT_EQ(e.Number, c.number) << c.asked;
        EXPECT_EQ(e.Pos, 1000 + 10 * c.number) << c.asked;
    }
}

} // namespace

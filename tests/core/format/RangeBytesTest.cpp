// The copy of a time range: whole frames from the first frame at or after the start up to the
// first frame at or after the end.
#include "Fixtures.h"
#include "format/MPEGAFHdr.h"

#include <gtest/gtest.h>

using namespace mp3core;

namespace {

const THeaderSpec Cbr128{}; // 417-byte frames; 1 ms is 16 bytes

struct CutResult
{
    Bytes out;
    int64_t written = -1;
};

CutResult Cut(const Bytes &file, int64_t startMs, int64_t endMs)
{
    TTempDir dir;
    WriteFile(dir / "in.mp3", file);
    TFileStream source(dir / "in.mp3", fmOpenRead);
    TMPEGAFHdr hdr;
    EXPECT_TRUE(hdr.ReadFirstFrame(source));
    CutResult r;
    {
        TFileStream target(dir / "out.mp3", fmCreate);
        r.written = CopyRange(hdr, source, target, startMs, endMs);
    }
    r.out = ReadFile(dir / "out.mp3");
    EXPECT_EQ(r.written, int64_t(r.out.size()));
    return r;
}

Bytes Slice(const Bytes &b, size_t from, size_t to)
{
    return Bytes(b.begin() + long(from), b.begin() + long(to));
}

Bytes CbrFile(int frames)
{
    Bytes b;
    AppendFrames(b, Cbr128, frames);
    return b;
}

void PutFakeHeader(Bytes &b, size_t at)
{
    b[at] = 0xFF;
    b[at + 1] = 0xFB;
    b[at + 2] = 0x90;
    b[at + 3] = 0x64;
}

TEST(CopyRange, CbrOffsetsRoundUpToWholeFrames)
{
    const Bytes file = CbrFile(200);
    // 1000 ms and 2000 ms are bytes 16000 and 32000; the next frames start at 39 and 77 x 417.
    const CutResult r = Cut(file, 1000, 2000);
    EXPECT_EQ(r.out, Slice(file, 39 * 417, 77 * 417));
}

TEST(CopyRange, TimeZeroIsTheFirstAudioFrame)
{
    Bytes file = Id3v2Tag(1000);
    const size_t start = file.size();
    Append(file, CbrFile(200));
    EXPECT_EQ(Cut(file, 1000, 2000).out, Slice(file, start + 39 * 417, start + 77 * 417));
    EXPECT_EQ(Cut(file, 0, 417).out, Slice(file, start, start + 16 * 417))
        << "an end exactly on a frame leaves that frame out";
    EXPECT_EQ(Cut(file, -500, 417).out, Slice(file, start, start + 16 * 417))
        << "negative times count as 0";
}

TEST(CopyRange, FakeSyncsInAudioDataNeitherStartNorEndTheRange)
{
    Bytes file = CbrFile(200);
    PutFakeHeader(file, 38 * 417 + 200); // after the start offset 16000, before frame 39
    PutFakeHeader(file, 76 * 417 + 320); // after the end offset 32000, before frame 77
    EXPECT_EQ(Cut(file, 1000, 2000).out, Slice(file, 39 * 417, 77 * 417));
}

TEST(CopyRange, EndPastTheAudioStopsBeforeTheTrailingTags)
{
    Bytes file = CbrFile(200);
    const size_t audioEnd = file.size();
    Append(file, ApeTag(200, true));
    Append(file, Id3v1Tag("song"));
    EXPECT_EQ(Cut(file, 1000, 999999).out, Slice(file, 39 * 417, audioEnd));
}

TEST(CopyRange, EmptyRangesCopyNothing)
{
    const Bytes file = CbrFile(200); // 5212 ms
    struct Case
    {
        const char *why;
        int64_t start, end;
    };
    for (const Case &c : {Case{"start equals end", 1000, 1000}, Case{"start after end", 2000, 1000},
                          Case{"start past the audio", 6000, 9000},
                          Case{"start after the last frame's start", 5200, 9000},
                          Case{"both inside one frame", 1000, 1010}}) {
        const CutResult r = Cut(file, c.start, c.end);
        EXPECT_TRUE(r.out.empty()) << c.why;
        EXPECT_EQ(r.written, 0) << c.why;
    }
}

TEST(CopyRange, SyncStraddlingTheSearchWindowIsFound)
{
    Bytes file = CbrFile(100); // 41700 bytes
    // Start offset 41712 (2607 ms) lies in the junk; the next frame begins 65534 bytes later,
    // its header across the edge of the 64 KiB read window.
    const size_t next = 41712 + 65534;
    file.resize(next, 0x00);
    const Bytes tail = CbrFile(100);
    Append(file, tail);
    EXPECT_EQ(Cut(file, 2607, 999999).out, tail);
}

TEST(CopyRange, XingFrameIsNeverCopied)
{
    Bytes file = XingFrame(Cbr128, 50);
    Append(file, CbrFile(50));
    EXPECT_EQ(Cut(file, 0, 999999).out, Slice(file, 417, file.size()));
}

// A VBR file of alternating 64 and 320 kbps frames; returns the frames' offsets.
Bytes VbrFile(int frames, std::vector<size_t> &offsets)
{
    THeaderSpec low = Cbr128;
    low.bitrateIndex = 5;
    THeaderSpec high = Cbr128;
    high.bitrateIndex = 14;
    Bytes file = XingFrame(Cbr128, uint32_t(frames));
    for (int i = 0; i < frames; ++i) {
        offsets.push_back(file.size());
        Append(file, Frame(i % 3 == 0 ? high : low));
    }
    offsets.push_back(file.size());
    return file;
}

TEST(CopyRange, VbrTimesMapToFrameStartTimes)
{
    std::vector<size_t> at;
    const Bytes file = VbrFile(100, at);
    // Frames last 1152 / 44100 s = 26.12 ms. 100 ms: frame 4 (104.5 ms); 500 ms: frame 20.
    EXPECT_EQ(Cut(file, 100, 500).out, Slice(file, at[4], at[20]));
    // Frame 4 starts at 104.49 ms, so 104 ms maps to it and 105 ms to frame 5.
    EXPECT_EQ(Cut(file, 104, 105).out, Slice(file, at[4], at[5]));
    EXPECT_EQ(Cut(file, 0, 26).out, Slice(file, at[0], at[1]));
    EXPECT_EQ(Cut(file, 2000, 99999).out, Slice(file, at[77], at[100]));
    EXPECT_TRUE(Cut(file, 2700, 99999).out.empty()) << "past the last frame";
}

TEST(CopyRange, VbrWalkResumesAndRestarts)
{
    std::vector<size_t> at;
    const Bytes file = VbrFile(100, at);
    TTempDir dir;
    WriteFile(dir / "in.mp3", file);
    TFileStream source(dir / "in.mp3", fmOpenRead);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(source));
    const std::vector<std::pair<int, int>> ranges = {{0, 10}, {10, 30}, {30, 99}, {5, 7}, {50, 60}};
    for (const auto &[from, to] : ranges) {
        const auto out = dir / ("part" + std::to_string(from) + ".mp3");
        {
            TFileStream target(out, fmCreate);
            // Frame i starts at i * 1152000 / 44100 ms; the whole ms before it maps to it.
            CopyRange(hdr, source, target, from * 1152000 / 44100, to * 1152000 / 44100);
        }
        EXPECT_EQ(ReadFile(out), Slice(file, at[size_t(from)], at[size_t(to)]))
            << from << "-" << to;
    }
}

TEST(CopyRange, VbrWalkResynchronisesAfterJunk)
{
    std::vector<size_t> at;
    Bytes file = VbrFile(20, at);
    const Bytes junk(500, 0x00);
    file.insert(file.begin() + long(at[10]), junk.begin(), junk.end());
    // Frame 12 now starts 500 bytes later.
    const int64_t ms12 = 12 * 1152000 / 44100;
    EXPECT_EQ(Cut(file, ms12, 99999).out, Slice(file, at[12] + 500, file.size()));
}

TEST(CopyRange, VbrWalkKnowsEveryHeaderOfTheStream)
{
    // Frames of one stream vary in bitrate, padding, CRC and stereo mode (a change to one
    // channel starts another stream); a 48 kHz frame in their midst belongs to no stream of
    // this file and is stepped over.
    Bytes file = XingFrame(Cbr128, 30);
    std::vector<size_t> at;
    for (int i = 0; i < 30; ++i) {
        THeaderSpec frame = Cbr128;
        frame.bitrateIndex = (i % 3 == 0) ? 14 : (i % 3 == 1) ? 5 : 9;
        frame.padding = i % 2 == 1;
        frame.protection = i % 4 == 1;
        frame.channelMode = i % 3;
        at.push_back(file.size());
        Append(file, Frame(frame));
        if (i == 10) {
            THeaderSpec foreign = Cbr128;
            foreign.sampleRateIndex = 1;
            Append(file, Frame(foreign));
        }
    }
    at.push_back(file.size());
    const auto ms = [](int frame) { return int64_t(frame) * 1152000 / 44100; };
    for (const auto &[from, to] : std::vector<std::pair<int, int>>{{0, 5}, {5, 13}, {12, 30}}) {
        EXPECT_EQ(Cut(file, ms(from), ms(to)).out, Slice(file, at[size_t(from)], at[size_t(to)]))
            << from << "-" << to;
    }
}

TEST(CopyRange, VbrWalkOverManyWindowsCountsAndCutsEveryFrame)
{
    // No information frame, so the frames are counted by walking them all: 3000 frames of
    // every bitrate (over a megabyte, many read windows), junk before frame 1700, and a last
    // frame cut short by the end of the file.
    Bytes file;
    std::vector<size_t> at;
    for (int i = 0; i < 3000; ++i) {
        THeaderSpec frame = Cbr128;
        frame.bitrateIndex = 1 + (i * 7) % 14;
        frame.padding = (i / 3) % 2 == 1;
        if (i == 1700) {
            Append(file, Bytes(300, 0x00));
        }
        at.push_back(file.size());
        Append(file, Frame(frame));
    }
    at.push_back(file.size());
    const Bytes shortFrame = Frame(Cbr128);
    file.insert(file.end(), shortFrame.begin(), shortFrame.begin() + 100);

    TTempDir dir;
    WriteFile(dir / "in.mp3", file);
    TFileStream source(dir / "in.mp3", fmOpenRead);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(source));
    EXPECT_TRUE(hdr.VBR);
    EXPECT_EQ(hdr.FrameCount, 3000);

    const auto ms = [](int frame) { return int64_t(frame) * 1152000 / 44100; };
    for (const auto &[from, to] : std::vector<std::pair<int, int>>{
             {0, 1}, {1, 1699}, {1699, 1701}, {1700, 2999}, {150, 2900}}) {
        EXPECT_EQ(Cut(file, ms(from), ms(to)).out, Slice(file, at[size_t(from)], at[size_t(to)]))
            << from << "-" << to;
    }
    // The frame cut short by the end of the file is not audio: ranges end at the last whole one.
    EXPECT_EQ(hdr.AudioEnd, int64_t(at[3000]));
    EXPECT_EQ(Cut(file, ms(2999), ms(3000)).out, Slice(file, at[2999], at[3000]));
    EXPECT_EQ(Cut(file, ms(2500), ms(4000)).out, Slice(file, at[2500], at[3000]));
}

TEST(CopyRange, OffsetsBeyondFourGibibytes)
{
    TTempDir dir;
    const auto path = dir / "big.mp3";
    const Bytes head = CbrFile(100);
    const Bytes tail = CbrFile(100);
    const int64_t tailAt = int64_t(9) << 29; // 4.5 GiB, a multiple of 16 bytes
    {
        TFileStream s(path, fmCreate);
        s.WriteBuffer(head.data(), int64_t(head.size()));
        s.Seek(tailAt, soBeginning);
        s.WriteBuffer(tail.data(), int64_t(tail.size()));
        ASSERT_EQ(s.Size(), tailAt + int64_t(tail.size()));
    }
    // The hole of zeros between them is junk: the frames after it go on where those before
    // it end, 100 frames (2612 ms) in, and lie beyond 4.5 GiB.
    TFileStream source(path, fmOpenRead);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(source));
    EXPECT_EQ(hdr.FrameCount, 200);
    EXPECT_TRUE(hdr.WalkFrames);
    const std::vector<TByteRange> junk = hdr.FindJunk(source);
    ASSERT_EQ(junk.size(), 1u);
    EXPECT_EQ(junk[0].Start, int64_t(head.size()));
    EXPECT_EQ(junk[0].End, tailAt);
    {
        TFileStream target(dir / "out.mp3", fmCreate);
        EXPECT_EQ(CopyRange(hdr, source, target, 2700, 3700), 38 * 417); // frames 104 to 141
    }
    EXPECT_EQ(ReadFile(dir / "out.mp3"), Slice(tail, 4 * 417, 42 * 417));
}

} // namespace

namespace {

TEST(CopyRange, LongCopiesReportProgressAndCanStop)
{
    TTempDir dir;
    Bytes file;
    AppendFrames(file, Cbr128, 50000); // 20.85 MB, 21 minutes
    WriteFile(dir / "in.mp3", file);
    TFileStream source(dir / "in.mp3", fmOpenRead);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(source));

    std::vector<std::pair<int64_t, int64_t>> calls;
    {
        TFileStream target(dir / "all.mp3", fmCreate);
        const int64_t n =
            CopyRange(hdr, source, target, 0, 9999999, [&](int64_t done, int64_t total) {
                calls.emplace_back(done, total);
                return true;
            });
        EXPECT_EQ(n, int64_t(file.size()));
    }
    EXPECT_EQ(ReadFile(dir / "all.mp3"), file);
    // Between the blocks: after 8 MiB and after 16 MiB, of 20.85 MB.
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], std::make_pair(int64_t(8) << 20, int64_t(file.size())));
    EXPECT_EQ(calls[1].first, int64_t(16) << 20);

    TFileStream target(dir / "part.mp3", fmCreate);
    EXPECT_EQ(CopyRange(hdr, source, target, 0, 9999999, [](int64_t, int64_t) { return false; }),
              8 << 20)
        << "stopped after the first block";
}

} // namespace

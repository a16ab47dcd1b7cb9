// Files that lame encodes here, cut by the core and checked by decoding with libmpg123.
#include "Decode.h"
#include "Fixtures.h"
#include "format/MPEGAFHdr.h"
#include "jobs/CutJob.h"
#include "jobs/SplitJob.h"
#include "plan/SegmentList.h"
#include "plan/SilenceScan.h"
#include "tags/MP3TAG.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

struct Encoded
{
    const char *name;
    int sampleRate;
    int channels;
    const char *lameArgs;
    int version;
    bool vbr;
};

void PrintTo(const Encoded &c, std::ostream *os)
{
    *os << c.name;
}

class RealFile : public ::testing::TestWithParam<Encoded>
{
protected:
    TTempDir dir;
};

// Audio frames of a file as the decoder sees them: the encoder's information frame is not one.
long FramesIn(const std::filesystem::path &path)
{
    const TDecodeResult d = DecodeFile(path);
    EXPECT_TRUE(d.opened) << d.message;
    EXPECT_EQ(d.errors, 0) << path << ": " << d.message;
    return d.frames;
}

int64_t CutToFile(TMPEGAFHdr &hdr, TFileStream &source, const std::filesystem::path &out,
                  int64_t startMs, int64_t endMs)
{
    TFileStream target(out, fmCreate);
    return CopyRange(hdr, source, target, startMs, endMs);
}

TEST_P(RealFile, LengthAndCutsAgreeWithTheDecoder)
{
    const Encoded &e = GetParam();
    const auto mp3 = EncodeWithLame(dir, "src", 12.0, e.sampleRate, e.channels, e.lameArgs);
    const TDecodeResult whole = DecodeFile(mp3);
    ASSERT_TRUE(whole.opened) << whole.message;
    ASSERT_EQ(whole.errors, 0) << whole.message;

    TFileStream source(mp3, fmOpenRead);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(source));
    EXPECT_EQ(hdr.MPEGVersion, e.version);
    EXPECT_EQ(hdr.SampleRate, e.sampleRate);
    EXPECT_EQ(hdr.VBR, e.vbr);
    const double frameMs = 1000.0 * hdr.SamplesPerFrame / hdr.SampleRate;
    const double decodedMs = 1000.0 * double(whole.samples) / double(whole.rate);
    EXPECT_NEAR(double(hdr.Duration), decodedMs, 1.5 * frameMs);
    // lame writes a LAME tag but for -t: then the playing time is the samples a gapless
    // player plays, to the millisecond.
    EXPECT_EQ(hdr.HasLameTag, std::string(e.lameArgs).find("-t") == std::string::npos);
    if (hdr.HasLameTag) {
        const double played = 1000.0 * double(GaplessSamples(mp3).size()) / e.channels / whole.rate;
        EXPECT_NEAR(double(hdr.PlayedMs()), played, 1.0);
        EXPECT_EQ(hdr.PlayedMs(), 12000) << "lame encoded 12 s";
    }
    EXPECT_EQ(hdr.FrameCount, whole.frames);

    // Three cuts that tile the file: each decodes cleanly, and together they hold every frame.
    const int64_t cuts[] = {0, 3000, 7777, 999999};
    long frames = 0;
    int64_t bytes = 0;
    for (int i = 0; i < 3; ++i) {
        const auto out = dir / ("part" + std::to_string(i) + ".mp3");
        bytes += CutToFile(hdr, source, out, cuts[i], cuts[i + 1]);
        const Bytes head = ReadFile(out);
        ASSERT_GE(head.size(), 4u);
        EXPECT_TRUE(DecodeFrameInfo(head.data()).Valid) << "part " << i << " starts on a frame";
        frames += FramesIn(out);
    }
    EXPECT_EQ(frames, whole.frames);
    EXPECT_EQ(bytes, hdr.AudioEnd - hdr.AudioStart);

    // A middle cut holds the frames whose start times lie in the range.
    const auto mid = dir / "mid.mp3";
    CutToFile(hdr, source, mid, 3000, 7777);
    const auto firstFrame = int64_t(std::ceil(3000 / frameMs - 1e-9));
    const auto endFrame = int64_t(std::ceil(7777 / frameMs - 1e-9));
    const long got = FramesIn(mid);
    if (e.vbr) {
        EXPECT_EQ(got, endFrame - firstFrame);
    } else {
        // Constant bitrate maps time to bytes; padding shifts the frames by at most one.
        EXPECT_NEAR(got, double(endFrame - firstFrame), 1.0);
    }
}

// A cut point just before LastCutMs leaves two frames after it, one at LastCutMs is refused,
// and a plan over the whole file makes no empty part.
TEST_P(RealFile, NoPlannedPartIsEmptyOrTheLastFrameAlone)
{
    const Encoded &e = GetParam();
    const auto mp3 = EncodeWithLame(dir, "src", 4.0, e.sampleRate, e.channels, e.lameArgs);
    TFileStream source(mp3, fmOpenRead);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(source));
    const int64_t lastCut = hdr.LastCutMs(source);
    ASSERT_GT(lastCut, hdr.Duration - 200);
    ASSERT_LE(lastCut, hdr.Duration);
    TSegmentList edge;
    edge.Reset(hdr.Duration, lastCut);
    EXPECT_EQ(edge.AddCut(lastCut).What, TSegmentList::TAdd::Outside);
    ASSERT_EQ(edge.AddCut(lastCut - 1).What, TSegmentList::TAdd::Added);
    std::filesystem::create_directory(dir / "edge");
    TSplitJob edgeJob = SplitJobOf(edge, mp3, dir / "edge", "p", {});
    edgeJob.WholeFrames = true; // frames that tile the source, to count
    const TJobOutcome tail = RunSplit(edgeJob);
    ASSERT_EQ(tail.Written.size(), 2u);
    EXPECT_EQ(FramesIn(tail.Written[1]), 2) << "the part after the last cut point";

    TSegmentList list;
    list.Reset(hdr.Duration, lastCut);
    list.Plan(0, hdr.Duration, 500);
    std::filesystem::create_directory(dir / "parts");
    TSplitJob job = SplitJobOf(list, mp3, dir / "parts", "p", {});
    job.WholeFrames = true;
    const TJobOutcome r = RunSplit(job);
    ASSERT_EQ(r.Status, TJobStatus::Done);
    ASSERT_EQ(r.Written.size(), list.Count());
    long frames = 0;
    for (const auto &part : r.Written) {
        const long n = FramesIn(part);
        EXPECT_GE(n, 2) << part;
        frames += n;
    }
    EXPECT_EQ(frames, hdr.FrameCount);
}

// Two outputs of the same frames: their frames, their information frames' counts (the seek
// table may differ: a CBR file's lies evenly, a walked one's on the frames) and what they play.
void ExpectAlike(const std::filesystem::path &a, const std::filesystem::path &b)
{
    const Bytes x = ReadFile(a);
    const Bytes y = ReadFile(b);
    ASSERT_EQ(x.size(), y.size());
    EXPECT_TRUE(FramesOf(a) == FramesOf(b));
    EXPECT_TRUE(std::equal(x.begin(), x.begin() + 52, y.begin())) << "up to the seek table";
    EXPECT_TRUE(GaplessSamples(a) == GaplessSamples(b));
}

// Junk between two frames (a damaged download, a bad join) is never copied, and every time
// after it is as exact as before it: the cuts and parts of the damaged file are the clean
// file's, and the junk is told where it lies.
TEST(RealFileJunk, JunkAmongTheFramesIsSteppedOver)
{
    TTempDir dir;
    for (const auto &[name, args] : std::vector<std::pair<std::string, std::string>>{
             {"cbr", "-b 128"}, {"vbr", "-V 2"}, {"cbrbare", "-b 128 -t"}}) {
        const auto clean = EncodeWithLame(dir, name, 6.0, 44100, 2, args);
        int64_t at = 0; // frame 77, two seconds in
        int64_t cleanMs = 0;
        {
            TFileStream s(clean, fmOpenRead);
            TMPEGAFHdr hdr;
            ASSERT_TRUE(hdr.ReadFirstFrame(s));
            at = hdr.FramesAt(s, {77}).at(0).Pos;
            cleanMs = hdr.PlayedMs();
        }
        for (const size_t junkBytes : {1, 2, 7, 300, 1000, 5000}) {
            SCOPED_TRACE(name + ", " + std::to_string(junkBytes) + " bytes of junk");
            Bytes damaged = ReadFile(clean);
            Bytes junk(junkBytes);
            for (size_t i = 0; i < junk.size(); ++i) {
                junk[i] = uint8_t(i * 37 % 255); // no sync among them
            }
            damaged.insert(damaged.begin() + at, junk.begin(), junk.end());
            WriteFile(dir / "damaged.mp3", damaged);
            {
                TFileStream s(dir / "damaged.mp3", fmOpenRead);
                TMPEGAFHdr hdr;
                ASSERT_TRUE(hdr.ReadFirstFrame(s));
                EXPECT_EQ(hdr.PlayedMs(), cleanMs);
                const std::vector<TByteRange> found = hdr.FindJunk(s);
                ASSERT_EQ(found.size(), 1u);
                EXPECT_EQ(found[0].Start, at);
                EXPECT_EQ(found[0].End, at + int64_t(junkBytes));
            }
            for (const auto &[from, to] : {std::pair{500, 1500}, {1000, 3000}, {2500, 4000}}) {
                TCutJob a{clean, dir / "a.mp3", from, to};
                TCutJob b{dir / "damaged.mp3", dir / "b.mp3", from, to};
                ASSERT_EQ(RunCut(a).Status, TJobStatus::Done);
                ASSERT_EQ(RunCut(b).Status, TJobStatus::Done);
                ExpectAlike(a.Output, b.Output);
                b.WholeFrames = a.WholeFrames = true;
                ASSERT_EQ(RunCut(a).Status, TJobStatus::Done);
                ASSERT_EQ(RunCut(b).Status, TJobStatus::Done);
                ExpectAlike(a.Output, b.Output);
            }
            TSplitJob split;
            split.Folder = dir.Path();
            split.Segments = {{0, 1900, {}}, {1900, 4100, {}}, {4100, std::nullopt, {}}};
            split.Input = clean;
            split.BaseName = "c";
            const TJobOutcome c = RunSplit(split);
            split.Input = dir / "damaged.mp3";
            split.BaseName = "d";
            const TJobOutcome d = RunSplit(split);
            ASSERT_EQ(c.Written.size(), 3u);
            ASSERT_EQ(d.Written.size(), 3u);
            for (size_t n = 0; n < 3; ++n) {
                ExpectAlike(c.Written[n], d.Written[n]);
            }
        }
    }
}

// Encodes put end to end (joined radio recordings, files joined with cat) whose format changes
// (44.1 kHz stereo, then 48 kHz, then 44.1 kHz mono) are read as a sequence of streams: each
// is cut exactly, a split covers them all and ends a part at each change, and a range over a
// change is refused rather than cut short.
TEST(RealFileStreams, AChangeOfFormatMidFileStartsAnotherStream)
{
    TTempDir dir;
    const std::vector<fs::path> sources = {EncodeWithLame(dir, "a", 5.0, 44100, 2, "-b 128"),
                                           EncodeWithLame(dir, "b", 4.0, 48000, 2, "-V 2"),
                                           EncodeWithLame(dir, "c", 3.0, 44100, 1, "-b 64")};
    Bytes joined;
    std::vector<std::vector<int16_t>> played;
    for (const fs::path &source : sources) {
        Append(joined, ReadFile(source));
        played.push_back(GaplessSamples(source));
    }
    WriteFile(dir / "joined.mp3", joined);
    std::vector<int64_t> starts;
    {
        TSource input;
        TJobOutcome opened;
        ASSERT_TRUE(OpenJobInput(dir / "joined.mp3", input, opened));
        ASSERT_EQ(input.StreamCount(), 3u);
        int64_t length = 0;
        for (size_t k = 0; k < 3; ++k) {
            starts.push_back(input.StreamStartMs(k));
            EXPECT_EQ(input.StreamStartMs(k), length);
            length += input.StreamHdr(k).PlayedMs();
        }
        EXPECT_EQ(input.LengthMs(), length);
        EXPECT_EQ(length, 12000);
        EXPECT_EQ(StreamChangeText(input, 1), "00:05.000 (44100 Hz stereo to 48000 Hz stereo)");
        EXPECT_EQ(StreamChangeText(input, 2), "00:09.000 (48000 Hz stereo to 44100 Hz mono)");
    }
    // A cut inside each stream holds exactly that stream's samples.
    const int rates[] = {44100, 48000, 44100};
    const int channels[] = {2, 2, 1};
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const TJobOutcome o =
            RunCut({dir / "joined.mp3", dir / "cut.mp3", starts[k] + 1234, starts[k] + 2500});
        ASSERT_EQ(o.Status, TJobStatus::Done);
        const auto at = [&](int64_t ms) { return long(ms * rates[k] / 1000 * channels[k]); };
        EXPECT_TRUE(
            GaplessSamples(dir / "cut.mp3") ==
            std::vector<int16_t>(played[k].begin() + at(1234), played[k].begin() + at(2500)));
    }
    const TJobOutcome across = RunCut({dir / "joined.mp3", dir / "x.mp3", 4000, 6000});
    EXPECT_EQ(across.Status, TJobStatus::CrossesStreams);
    EXPECT_EQ(across.Reason, "00:05.000 (44100 Hz stereo to 48000 Hz stereo)");
    EXPECT_FALSE(fs::exists(dir / "x.mp3"));

    // A split every two seconds: the changes are cut points of their own, with a note, and the
    // parts of each stream played in turn are that stream.
    TSplitJob split;
    split.Input = dir / "joined.mp3";
    split.Folder = dir.Path();
    split.BaseName = "p";
    for (int64_t t = 0; t < 12000; t += 2000) {
        split.Segments.push_back(
            {t, t + 2000 < 12000 ? std::optional<int64_t>(t + 2000) : std::nullopt, {}});
    }
    const TJobOutcome o = RunSplit(split);
    ASSERT_EQ(o.Status, TJobStatus::Done);
    EXPECT_EQ(o.Written.size(), 8u) << "6 segments, 2 of them over a change";
    EXPECT_EQ(o.StreamNote, "the format changes at 00:05.000 (44100 Hz stereo to 48000 Hz "
                            "stereo): a part ends there; the format changes at 00:09.000 "
                            "(48000 Hz stereo to 44100 Hz mono): a part ends there");
    std::vector<std::vector<int16_t>> rejoined(3);
    const size_t streamOf[] = {0, 0, 0, 1, 1, 1, 2, 2};
    for (size_t n = 0; n < o.Written.size(); ++n) {
        const std::vector<int16_t> part = GaplessSamples(o.Written[n]);
        ASSERT_FALSE(part.empty()) << n;
        auto &to = rejoined[streamOf[n]];
        to.insert(to.end(), part.begin(), part.end());
    }
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_TRUE(rejoined[k] == played[k]) << "stream " << k << " whole, sample for sample";
    }
    // The silence scan decodes every stream on the file's timeline.
    EXPECT_EQ(FindSilences(dir / "joined.mp3", {}).LengthMs, 12000);
}

TEST(RealFileCounts, AStaleInformationFrameGivesWayToTheFrames)
{
    // An editor cut the second half of the audio away and left the Xing frame as it was.
    TTempDir dir;
    const auto mp3 = EncodeWithLame(dir, "src", 10.0, 44100, 2, "-V 2");
    int64_t half = 0;
    {
        TFileStream source(mp3, fmOpenRead);
        TMPEGAFHdr hdr;
        ASSERT_TRUE(hdr.ReadFirstFrame(source));
        half = hdr.FrameOffsetAt(source, 5000);
    }
    Bytes bytes = ReadFile(mp3);
    bytes.resize(size_t(half));
    WriteFile(dir / "cut.mp3", bytes);
    const TDecodeResult decoded = DecodeFile(dir / "cut.mp3");
    TFileStream source(dir / "cut.mp3", fmOpenRead);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(source));
    EXPECT_EQ(hdr.FrameCount, decoded.frames);
    EXPECT_NEAR(double(hdr.Duration), 5000.0, 30.0);

    TSegmentList list;
    list.Reset(hdr.Duration, hdr.LastCutMs(source));
    list.Plan(0, hdr.Duration, 1000);
    EXPECT_EQ(list.Count(), 5u);
    const TJobOutcome r = RunSplit(SplitJobOf(list, dir / "cut.mp3", dir.Path(), "p", {}));
    ASSERT_EQ(r.Status, TJobStatus::Done);
    for (const auto &part : r.Written) {
        EXPECT_GT(FramesIn(part), 30) << part;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lame, RealFile,
    ::testing::Values(Encoded{"Cbr128Stereo", 44100, 2, "-b 128", 1, false},
                      Encoded{"Cbr128NoInfoFrame", 44100, 2, "-b 128 -t", 1, false},
                      Encoded{"Cbr128Crc", 44100, 2, "-b 128 -p", 1, false},
                      Encoded{"Vbr2Crc", 44100, 2, "-V 2 -p", 1, true},
                      Encoded{"Vbr2Stereo", 44100, 2, "-V 2", 1, true},
                      Encoded{"Mpeg2Cbr64Mono", 22050, 1, "-b 64 -m m", 2, false},
                      Encoded{"Mpeg25Cbr32", 11025, 2, "-b 32", 3, false},
                      Encoded{"Mpeg2Vbr", 24000, 2, "-V 5", 2, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RealFileTags, CoverArtInFrontAndTagBehind)
{
    TTempDir dir;
    const auto encoded = EncodeWithLame(dir, "plain", 8.0, 44100, 2, "-V 2");
    // A 300 KB picture full of sync-like bytes in an ID3v2 tag, and an ID3v1 tag at the end.
    Bytes picture(300 * 1024);
    uint32_t x = 7;
    for (auto &b : picture) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    for (size_t i = 0; i + 4 < picture.size(); i += 997) {
        picture[i] = 0xFF;
        picture[i + 1] = 0xFB;
    }
    Bytes file = Id3v2Tag(uint32_t(picture.size()));
    std::copy(picture.begin(), picture.end(), file.begin() + 10);
    const size_t audioAt = file.size();
    Append(file, ReadFile(encoded));
    Append(file, Id3v1Tag("Cover test", 17));
    const auto tagged = dir / "tagged.mp3";
    WriteFile(tagged, file);

    TFileStream source(tagged, fmOpenRead);
    TID3Tag tag;
    ASSERT_TRUE(tag.ReadTag(source));
    EXPECT_EQ(tag.Title, "Cover test");
    EXPECT_EQ(tag.Genre, "Rock");
    source.Seek(0, soBeginning);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(source));
    EXPECT_TRUE(hdr.VBR);
    EXPECT_GT(hdr.AudioStart, int64_t(audioAt)) << "after the tag and the Xing frame";
    EXPECT_EQ(hdr.AudioEnd, int64_t(file.size()) - 128);
    EXPECT_NEAR(double(hdr.Duration), 8000.0, 60.0);

    const auto out = dir / "cut.mp3";
    {
        TFileStream target(out, fmCreate);
        CopyRange(hdr, source, target, 0, 999999);
    }
    const TDecodeResult d = DecodeFile(out);
    EXPECT_EQ(d.errors, 0) << d.message;
    EXPECT_EQ(d.frames, hdr.FrameCount);
    const Bytes cut = ReadFile(out);
    EXPECT_EQ(cut, Bytes(file.begin() + hdr.AudioStart, file.end() - 128));
}

} // namespace

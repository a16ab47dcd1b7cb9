// Planning cut points and writing numbered parts.
#include "Decode.h"
#include "Fixtures.h"
#include "format/MPEGAFHdr.h"
#include "io/Errors.h"
#include "jobs/SplitJob.h"
#include "plan/SegmentList.h"
#include "plan/SplitPlan.h"
#include "tags/MP3TAG.h"

#include "tags/TextCodec.h"
#include <gtest/gtest.h>

#include <algorithm>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

TEST(SplitPlan, Steps)
{
    EXPECT_EQ(TimeStepMs(60), 60000);
    EXPECT_EQ(SizeStepBytes(1024), 1048576);
    EXPECT_EQ(SizeStepBytes(1), 1024);
    for (const auto bad : {TimeStepMs(0), TimeStepMs(-5), TimeStepMs(int64_t(1) << 40),
                           SizeStepBytes(0), SizeStepBytes(-1), SizeStepBytes(int64_t(1) << 50)}) {
        EXPECT_FALSE(bad.has_value());
    }
}

TEST(SplitPlan, CutPointsLieStrictlyInsideTheRange)
{
    EXPECT_EQ(PlanCutPoints(0, 150000, 60000), (std::vector<int64_t>{60000, 120000}));
    EXPECT_EQ(PlanCutPoints(0, 180000, 60000), (std::vector<int64_t>{60000, 120000}));
    EXPECT_EQ(PlanCutPoints(60000, 130000, 60000), (std::vector<int64_t>{120000}));
    EXPECT_TRUE(PlanCutPoints(0, 50000, 60000).empty());
    EXPECT_TRUE(PlanCutPoints(0, 50000, 0).empty());
    EXPECT_EQ(PlanCutPoints(0, 2 * int64_t(INT32_MAX), INT32_MAX).size(), 1u);
}

TEST(SplitPlan, PartNames)
{
    EXPECT_EQ(PartFileName("song", 0), "song000.mp3");
    EXPECT_EQ(PartFileName("song", 999), "song999.mp3");
    EXPECT_EQ(PartFileName("song", 1000), "song1000.mp3");
    EXPECT_EQ(PartFileName("", 7), "007.mp3");
    // A split's numbers are as wide as its largest, so that they sort in order.
    EXPECT_EQ(PartFileName("p", 999, 1000), "p999.mp3");
    EXPECT_EQ(PartFileName("p", 7, 1001), "p0007.mp3");
    EXPECT_EQ(PartFileName("p", 1000, 1001), "p1000.mp3");
    EXPECT_EQ(PartFileName("p", 42, 123456), "p000042.mp3");
}

// A split of 1001 parts writes them all four digits wide, so that a file manager lists them in
// the order they play.
TEST(SplitPlan, ASplitOfMoreThanAThousandPartsNumbersThemAlike)
{
    TTempDir dir;
    Bytes source;
    AppendFrames(source, THeaderSpec{}, 1001);
    WriteFile(dir / "in.mp3", source);
    TSplitJob job;
    job.Input = dir / "in.mp3";
    job.Folder = dir.Path();
    job.BaseName = "p";
    job.WholeFrames = true;
    job.Tags = TTagFrames::None;
    for (int64_t n = 0; n < 1001; ++n) {
        // The start of frame n: a CBR time is its byte at 128 kbps (16 bytes a millisecond).
        job.Segments.push_back({n * 417 / 16, std::nullopt, {}});
        if (n > 0) {
            job.Segments[size_t(n - 1)].EndMs = job.Segments[size_t(n)].StartMs;
        }
    }
    const TJobOutcome o = RunSplit(job);
    ASSERT_EQ(o.Status, TJobStatus::Done);
    ASSERT_EQ(o.Written.size(), 1001u);
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names.front(), "in.mp3");
    for (size_t n = 0; n < 1001; ++n) {
        EXPECT_EQ(o.Written[n].filename(), names[n + 1]) << "sorted in playing order";
    }
    EXPECT_EQ(names[1], "p0000.mp3");
    EXPECT_EQ(names.back(), "p1000.mp3");
}

const THeaderSpec Cbr128{};

// Every case runs on a CBR input and on a VBR one, whose cut points are found by walking the
// frames.
struct SplitFixture : ::testing::TestWithParam<bool>
{
    TTempDir dir;
    Bytes source;
    size_t audioEnd = 0;
    TSplitJob job;

    void SetUp() override
    {
        if (GetParam()) {
            AppendVbrFrames(source, 300); // 7.8 s
        } else {
            AppendFrames(source, Cbr128, 300); // 7.8 s
        }
        audioEnd = source.size();
        Append(source, Id3v1Tag("Source title", 3));
        WriteFile(dir / "in.mp3", source);
        fs::create_directory(dir / "out");
        job.Input = dir / "in.mp3";
        job.Folder = dir / "out";
        job.BaseName = "p";
        job.Segments = {{0, 2000, {}}, {2000, 5000, {}}, {5000, 7836, {}}};
        job.WholeFrames = true; // the frames each part copies, byte for byte
    }

    Bytes Joined(size_t parts)
    {
        Bytes all;
        for (size_t n = 0; n < parts; ++n) {
            Append(all, FramesOf(job.Folder / PartFileName("p", n)));
        }
        return all;
    }
};

TEST_P(SplitFixture, PartsHoldExactlyTheSourceFramesAndTheTag)
{
    job.Tag.Title = "Part";
    job.Tag.Artist = "Someone";
    std::vector<size_t> seen;
    const TJobOutcome r = RunSplit(job, [&](size_t done, size_t total) {
        EXPECT_EQ(total, 3u);
        seen.push_back(done);
        return true;
    });
    EXPECT_EQ(r.Status, TJobStatus::Done);
    EXPECT_EQ(r.Written.size(), 3u);
    EXPECT_EQ(seen, (std::vector<size_t>{1, 2, 3}));
    EXPECT_EQ(Joined(3), Bytes(source.begin(), source.begin() + long(audioEnd)));
    for (size_t n = 0; n < 3; ++n) {
        TFileStream part(job.Folder / PartFileName("p", n), fmOpenRead);
        TID3Tag tag;
        ASSERT_TRUE(tag.ReadTag(part));
        EXPECT_EQ(tag.Title, "Part");
        EXPECT_EQ(tag.Artist, "Someone");
        EXPECT_EQ(tag.GenreID, 255);
        EXPECT_EQ(tag.Track, n + 1);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(job.Folder), {}), 3) << "no temporary files";
}

TEST_P(SplitFixture, EachPartIsTheRangeALoneCopyTakesAndEmptyRangesMakeNoPart)
{
    // 1000-1001 lies inside one frame, 1001-1001 is empty, 9000-12000 lies past the audio.
    job.Segments = {{0, 1000, {}},    {1000, 1001, {}}, {1001, 1001, {}}, {1001, 4000, {}},
                    {2500, 3000, {}}, {4000, 9000, {}}, {9000, 12000, {}}};
    const TJobOutcome r = RunSplit(job);
    ASSERT_EQ(r.Status, TJobStatus::Done);
    EXPECT_EQ(r.Planned, r.Written.size());
    TFileStream input(job.Input, fmOpenRead);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(input));
    EXPECT_EQ(hdr.VBR, GetParam());
    size_t n = 0;
    for (const TPartSegment &segment : job.Segments) {
        const auto alone = dir / "alone.mp3";
        {
            TFileStream target(alone, fmCreate);
            CopyRange(hdr, input, target, segment.StartMs, *segment.EndMs);
        }
        const Bytes expected = ReadFile(alone);
        if (expected.empty()) {
            continue; // no part, and no number taken
        }
        ASSERT_LT(n, r.Written.size());
        EXPECT_EQ(r.Written[n], job.Folder / PartFileName("p", n));
        EXPECT_EQ(FramesOf(r.Written[n]), expected) << "part " << n;
        ++n;
    }
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(r.Written.size(), 4u);
}

TEST_P(SplitFixture, NoTitleNoTagAndOwnTextsWin)
{
    TPartTag own;
    own.Title = "Own";
    own.GenreID = 17;
    job.Segments[1].Tag = own;
    ASSERT_EQ(RunSplit(job).Status, TJobStatus::Done);
    TFileStream first(job.Folder / "p000.mp3", fmOpenRead);
    TFileStream second(job.Folder / "p001.mp3", fmOpenRead);
    TFileStream last(job.Folder / "p002.mp3", fmOpenRead);
    TID3Tag tag;
    EXPECT_FALSE(tag.ReadTag(first));
    EXPECT_FALSE(tag.ReadTag(last)) << "the source's tag is not carried along";
    ASSERT_TRUE(tag.ReadTag(second));
    EXPECT_EQ(tag.Title, "Own");
    EXPECT_EQ(tag.Genre, "Rock");
}

TEST_P(SplitFixture, ThePartsGoToTheEndOfTheAudioWhenTheLastHasNoEnd)
{
    job.Segments = {{0, 2000, {}}, {2000, std::nullopt, {}}};
    ASSERT_EQ(RunSplit(job).Status, TJobStatus::Done);
    EXPECT_EQ(Joined(2), Bytes(source.begin(), source.begin() + long(audioEnd)));
}

TEST_P(SplitFixture, SizeStepsEndPartsOnTheFrameNearestToEachStep)
{
    // 40 KB steps over 7.8 s: a VBR part's size is its own frames', not the average bitrate's.
    TFileStream input(job.Input, fmOpenRead);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(input));
    TSegmentList list;
    list.Reset(hdr.Duration, hdr.LastCutMs(input));
    list.PlanTimes(hdr.SizeCutTimes(input, 0, hdr.Duration, 40 * 1024));
    ASSERT_EQ(list.Count(), 4u);
    TSplitJob sized = SplitJobOf(list, job.Input, job.Folder, "s", {});
    sized.WholeFrames = true;
    const TJobOutcome r = RunSplit(sized);
    ASSERT_EQ(r.Status, TJobStatus::Done);
    ASSERT_EQ(r.Written.size(), 4u);
    for (size_t n = 0; n + 1 < r.Written.size(); ++n) {
        const auto size = double(FramesOf(r.Written[n]).size());
        EXPECT_NEAR(size, 40960.0, GetParam() ? 313.0 : 209.0) << "within half a frame";
    }
    Bytes all;
    for (const auto &part : r.Written) {
        Append(all, FramesOf(part));
    }
    EXPECT_EQ(all, Bytes(source.begin(), source.begin() + long(audioEnd)));
}

INSTANTIATE_TEST_SUITE_P(Input, SplitFixture, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Vbr" : "Cbr"; });

TEST(SplitLongParts, StopAskedDuringAPartEndsTheRunAfterIt)
{
    TTempDir dir;
    Bytes source;
    AppendVbrFrames(source, 60000); // 29 MB, 26 minutes
    WriteFile(dir / "in.mp3", source);
    TSplitJob job;
    job.Input = dir / "in.mp3";
    job.Folder = dir.Path();
    job.BaseName = "p";
    job.Segments = {{0, 1000000, {}}, {1000000, 1200000, {}}, {1200000, 1600000, {}}};
    job.WholeFrames = true;
    std::vector<size_t> seen;
    const TJobOutcome r = RunSplit(job, [&](size_t done, size_t) {
        seen.push_back(done);
        return false; // asked while the first, long part is copied
    });
    EXPECT_EQ(r.Status, TJobStatus::Stopped);
    ASSERT_EQ(r.Written.size(), 1u);
    EXPECT_EQ(seen.front(), 0u) << "the long part reported between its blocks";
    EXPECT_EQ(seen.back(), 1u);
    const size_t size = FramesOf(dir / "p000.mp3").size();
    EXPECT_TRUE(size % 1460 == 0 || size % 1460 == 626 || size % 1460 == 1043)
        << "the part ends on a frame: every three frames hold 626 + 417 + 417 bytes";
    EXPECT_GT(size, size_t(15) << 20);
    EXPECT_FALSE(fs::exists(dir / "p001.mp3"));
}

TEST(SplitRealFile, VbrPartsDecodeAndTileTheFrames)
{
    TTempDir dir;
    const auto mp3 = EncodeWithLame(dir, "src", 10.0, 44100, 2, "-V 2");
    TFileStream in(mp3, fmOpenRead);
    TMPEGAFHdr hdr;
    ASSERT_TRUE(hdr.ReadFirstFrame(in));
    TSplitJob job;
    job.Input = mp3;
    job.Folder = dir.Path();
    job.BaseName = "part";
    int64_t from = 0;
    for (const int64_t cut : PlanCutPoints(0, hdr.Duration, *TimeStepMs(3))) {
        job.Segments.push_back({from, cut, {}});
        from = cut;
    }
    job.Segments.push_back({from, hdr.Duration, {}});
    job.WholeFrames = true; // frames that tile the source
    ASSERT_EQ(job.Segments.size(), 4u);
    const TJobOutcome r = RunSplit(job);
    ASSERT_EQ(r.Status, TJobStatus::Done);
    long frames = 0;
    for (const auto &part : r.Written) {
        const TDecodeResult d = DecodeFile(part);
        EXPECT_EQ(d.errors, 0) << part << d.message;
        frames += d.frames;
    }
    EXPECT_EQ(frames, hdr.FrameCount);
}

// A split opens its input once (the front end's open, handed to the job) and walks its frames
// once, whatever the plan and the parts ask of them. Exact parts of a VBR file are walked as
// they are copied: the audio is read once. Whole-frame parts are planned by one walk and then
// copied: twice. A file without a frame count is walked once more as it opens.
TEST(SplitRealFile, OneOpenAndOneWalkOfTheInput)
{
    TTempDir dir;
    const fs::path cover = dir / "cover.jpg";
    Bytes picture{0xFF, 0xD8, 0xFF, 0xE0};
    picture.resize(100 << 10, 0x5A);
    WriteFile(cover, picture);
    const fs::path withXing =
        EncodeWithLame(dir, "xing", 60.0, 44100, 2, "-V 2 --ti " + cover.string());
    Bytes noCount; // VBR frames with no information frame: the open counts them by a walk
    AppendVbrFrames(noCount, 2400);
    WriteFile(dir / "walked.mp3", noCount);
    const struct
    {
        fs::path input;
        bool exact;
        double reads; // the input's size over, at most
    } cases[] = {
        {withXing, true, 1.3},
        {withXing, false, 2.05},
        {dir / "walked.mp3", true, 2.05},
        {dir / "walked.mp3", false, 3.05},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input.filename().string() + (c.exact ? " exact" : " whole frames"));
        TSource source;
        TJobOutcome opened;
        ASSERT_TRUE(OpenJobInput(c.input, source, opened));
        TSegmentList list;
        list.Reset(source.LengthMs(), source.LastCutMs());
        list.Plan(0, source.LengthMs(), 3000);
        TSplitJob job = SplitJobOf(list, c.input, dir / "parts", "p", {});
        job.Tags = TTagFrames::All;
        job.WholeFrames = !c.exact;
        fs::remove_all(job.Folder);
        fs::create_directory(job.Folder);
        const TJobOutcome r = RunSplit(source, job);
        ASSERT_EQ(r.Status, TJobStatus::Done);
        ASSERT_GE(r.Written.size(), 20u);
        const int64_t frames = source.Hdr.FrameCount;
        EXPECT_LE(source.Hdr.Index().Stepped, frames + 4 * int64_t(r.Written.size()))
            << "each frame is walked once, and the few before each part's start again";
        // The tag, its picture with it, is read once: the parts take the picture from memory.
        const auto size = double(fs::file_size(c.input));
        EXPECT_LE(double(source.Stream->BytesRead()), c.reads * size) << frames;
    }
}

TEST(PartNames, PatternsTakeTheTextsOfEachPart)
{
    TPartTag tag;
    tag.Title = "AC/DC: \"Live\"? <1>|*\\";
    tag.Artist = "王菲";
    tag.Album = "Best";
    const std::string longTitle =
        std::string(120, 'x') +
        "一二三四五六七八九十二三四五六七八九十一二三四五六七八九十二三四五六七八九十一二三四五";
    TPartTag untitled;
    const struct
    {
        std::string base;
        size_t number, total;
        TPartTag texts;
        std::string name;
    } cases[] = {
        {"song", 7, 10, tag, "song007.mp3"},
        {"mail@home", 0, 1, tag, "mail@home000.mp3"},
        {"@n - @t", 0, 9, tag, "01 - AC_DC_ _Live__ _1____.mp3"},
        {"@n @p - @a", 99, 100, tag, "100 王菲 - Best.mp3"},
        {"@n", 4, 120, tag, "005.mp3"},
        {"@t", 2, 3, untitled, "Track 03.mp3"},
        {" @p @a", 0, 1, untitled, "_.mp3"},
        {"@p.@a", 0, 1, untitled, "_..mp3"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(PartFileName(c.base, c.number, c.total, c.texts), c.name) << c.base;
    }
    TPartTag long_;
    long_.Title = longTitle;
    const std::string name = PartFileName("@t", 0, 1, long_);
    EXPECT_LE(name.size(), 255u);
    EXPECT_GT(name.size(), 250u);
    EXPECT_TRUE(IsUtf8(name)) << "cut at a character boundary";
}

} // namespace

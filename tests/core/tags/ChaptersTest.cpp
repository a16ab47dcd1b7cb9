// Chapters of the source's ID3v2 tag: read in the order its tables of contents give them, and
// planned as the parts of a split at chapters, each with its chapter's title.
#include "Fixtures.h"
#include "jobs/JobOutcome.h"
#include "plan/SplitPlanner.h"
#include "tags/OutputTags.h"

#include <gtest/gtest.h>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

// 200 frames of 26 ms (5.2 s) after the tag.
fs::path WithTag(const TTempDir &dir, const Bytes &tag)
{
    Bytes file = tag;
    AppendFrames(file, THeaderSpec{}, 200);
    const fs::path path = dir / "book.mp3";
    WriteFile(path, file);
    return path;
}

std::string Order(const std::vector<TChapter> &chapters)
{
    std::string ids;
    for (const TChapter &c : chapters) {
        ids += (ids.empty() ? "" : " ") + c.Id;
    }
    return ids;
}

std::vector<TChapter> ChaptersIn(const fs::path &file)
{
    TSource source;
    TJobOutcome outcome;
    EXPECT_TRUE(OpenJobInput(file, source, outcome));
    return ReadSourceTags(*source.Stream, source.Hdr.AudioStart).Chapters;
}

} // namespace

// The top-level table's order, a table within it flattened in its place, chapters no table
// lists after them by their start; without a table, by their start; a table that lists itself
// is followed once.
TEST(Chapters, ReadInTheOrderOfTheirTables)
{
    TTempDir dir;
    const std::vector<TChapterSpec> chapters = {{"a", 0, 1000, "Eins"},
                                                {"b", 1000, 2000, "Zwei"},
                                                {"c", 2000, 3000, "三"},
                                                {"d", 3000, 4000, ""},
                                                {"e", 4000, 5200, "Fünf"}};
    const struct
    {
        std::vector<TTocSpec> tables;
        const char *order;
    } cases[] = {
        {{{"toc", true, {"a", "part", "d"}}, {"part", false, {"c", "b"}}}, "a c b d e"},
        {{}, "a b c d e"},
        {{{"toc", true, {"e", "loop", "a"}}, {"loop", false, {"loop", "d", "toc"}}}, "e d a b c"},
    };
    for (const auto &c : cases) {
        const fs::path file = WithTag(dir, Id3v2ChapterTag("Book", chapters, c.tables));
        const std::vector<TChapter> read = ChaptersIn(file);
        EXPECT_EQ(Order(read), c.order);
    }
    const std::vector<TChapter> read =
        ChaptersIn(WithTag(dir, Id3v2ChapterTag("Book", chapters, {})));
    ASSERT_EQ(read.size(), 5u);
    EXPECT_EQ(read[2].Title, "三");
    EXPECT_EQ(read[2].StartMs, 2000);
    EXPECT_EQ(read[2].EndMs, 3000);
    EXPECT_EQ(read[3].Title, "");
}

// A split at chapters: a row from each chapter's start, with its title and the book's other
// texts; a stretch before the first chapter stays unticked; a chapter past the end is left out
// and counted; no chapters at all is a plan of its own kind.
TEST(Chapters, PlanTheRowsOfASplit)
{
    TTempDir dir;
    const fs::path file = WithTag(dir, Id3v2ChapterTag("Book",
                                                       {{"a", 500, 2000, "One"},
                                                        {"b", 2000, 4000, "Two"},
                                                        {"c", 9000, 9999, "Past the end"}},
                                                       {{"toc", true, {"a", "b", "c"}}}));
    TSource source;
    TJobOutcome outcome;
    ASSERT_TRUE(OpenJobInput(file, source, outcome));
    TSplitRequest request;
    request.Method = TSplitRequest::TMethod::Chapters;
    const TSplitPlan plan = PlanSplit(source, request);
    ASSERT_EQ(plan.Status, TSplitPlan::TStatus::Planned);
    EXPECT_EQ(plan.Tracks, 3u);
    EXPECT_EQ(plan.TracksLeftOut, 1u);
    const std::vector<TSegment> &rows = plan.List.Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_FALSE(rows[0].Ticked); // before the first chapter
    EXPECT_EQ(rows[1].StartMs, 500);
    EXPECT_EQ(rows[1].Tag->Title, "One");
    EXPECT_EQ(rows[2].StartMs, 2000);
    EXPECT_EQ(rows[2].EndMs, source.LengthMs());
    EXPECT_EQ(rows[2].Tag->Title, "Two");

    const fs::path bare = WithTag(dir, Id3v2TextTag({{"TIT2", "Book"}}));
    TSource none;
    ASSERT_TRUE(OpenJobInput(bare, none, outcome));
    EXPECT_EQ(PlanSplit(none, request).Status, TSplitPlan::TStatus::NoChapters);
}

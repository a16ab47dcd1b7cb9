// The segment list: cut points split rows, removals merge them, and the job it makes.
#include "plan/SegmentList.h"
#include "jobs/SplitJob.h"

#include <gtest/gtest.h>

using namespace mp3core;

namespace {

TPartTag Titled(const std::string &title)
{
    TPartTag tag;
    tag.Title = title;
    return tag;
}

// The rows as "start-end" pairs with a mark for unticked rows and for rows with own texts.
std::vector<std::string> Shape(const TSegmentList &list)
{
    std::vector<std::string> rows;
    for (const TSegment &s : list.Rows()) {
        rows.push_back(std::to_string(s.StartMs) + "-" + std::to_string(s.EndMs) +
                       (s.Ticked ? "" : " off") + (s.Tag ? " " + s.Tag->Title : ""));
    }
    return rows;
}

TEST(SegmentList, CutPointsSplitTheRowThatHoldsThem)
{
    TSegmentList list;
    list.Reset(180000);
    struct Step
    {
        int64_t t;
        TSegmentList::TAdd what;
        size_t row;
    };
    const Step steps[] = {
        {60000, TSegmentList::TAdd::Added, 1},   {30000, TSegmentList::TAdd::Added, 1},
        {0, TSegmentList::TAdd::Exists, 0},      {60000, TSegmentList::TAdd::Exists, 2},
        {180000, TSegmentList::TAdd::Exists, 2}, {180001, TSegmentList::TAdd::Outside, 0},
        {-1, TSegmentList::TAdd::Outside, 0},    {179999, TSegmentList::TAdd::Added, 3},
    };
    for (const Step &s : steps) {
        const auto r = list.AddCut(s.t);
        EXPECT_EQ(r.What, s.what) << s.t;
        if (r.What != TSegmentList::TAdd::Outside) {
            EXPECT_EQ(r.Row, s.row) << s.t;
        }
    }
    EXPECT_EQ(Shape(list), (std::vector<std::string>{"0-30000", "30000-60000", "60000-179999",
                                                     "179999-180000"}));
}

// A cut point dragged in the waveform moves between its neighbours, never onto them nor past
// the last cut point the audio allows; the rows keep their ticks and texts.
TEST(SegmentList, CutPointsMoveBetweenTheirNeighbours)
{
    TSegmentList list;
    list.Reset(180000, 179000);
    list.AddCut(60000);
    list.AddCut(120000);
    list.SetTag(1, Titled("two"));
    list.SetTicked(2, false);
    const struct
    {
        size_t row;
        int64_t t;
        bool moved;
    } moves[] = {{1, 45000, true},   {1, 0, false},      {1, 120000, false},
                 {0, 10000, false},  {2, 179000, false}, {2, 178999, true},
                 {3, 150000, false}, {2, 45000, false},  {2, 45001, true}};
    for (const auto &m : moves) {
        EXPECT_EQ(list.MoveCut(m.row, m.t), m.moved) << m.row << " to " << m.t;
    }
    EXPECT_EQ(Shape(list),
              (std::vector<std::string>{"0-45000", "45000-45001 two", "45001-180000 off"}));
}

TEST(SegmentList, NewRowsInheritTickAndTextsAndRemovalsMerge)
{
    TSegmentList list;
    list.Reset(300000);
    list.AddCut(100000);
    list.SetTicked(1, false);
    list.SetTag(1, Titled("T"));
    list.AddCut(200000);
    EXPECT_EQ(Shape(list),
              (std::vector<std::string>{"0-100000", "100000-200000 off T", "200000-300000 off T"}));
    EXPECT_EQ(list.Remove(0), 0u) << "the first row: the one after takes its start";
    EXPECT_EQ(Shape(list), (std::vector<std::string>{"0-200000 off T", "200000-300000 off T"}));
    EXPECT_EQ(list.Remove(1), 0u) << "any other: the one before takes its end";
    EXPECT_EQ(Shape(list), (std::vector<std::string>{"0-300000 off T"}));
    EXPECT_EQ(list.Remove(0), std::nullopt) << "the last row stays";
    for (const int64_t t : {50000, 150000, 250000}) {
        list.AddCut(t);
    }
    list.RemoveAll();
    EXPECT_EQ(Shape(list), (std::vector<std::string>{"0-300000 off T"}));
}

TEST(SegmentList, PlanningAddsToTheRowsThere)
{
    TSegmentList list;
    list.Reset(150000);
    EXPECT_EQ(list.Plan(0, 150000, 60000), 0u);
    EXPECT_EQ(Shape(list), (std::vector<std::string>{"0-60000", "60000-120000", "120000-150000"}));
    EXPECT_EQ(list.Plan(0, 150000, 30000), 2u) << "60 and 120 s were there already";
    EXPECT_EQ(list.Count(), 5u);
    EXPECT_EQ(list.Plan(60000, 120000, 10000), 1u) << "70 to 110 s, of which 90 s was there";
    EXPECT_EQ(list.Count(), 9u);
    list.Reset(144000000); // 40 hours, every minute a part
    list.Plan(0, 144000000, 60000);
    ASSERT_EQ(list.Count(), 2400u);
    EXPECT_EQ(list[2399].StartMs, 143940000);
}

TEST(SegmentList, TheJobWritesTheTickedRowsAndTheLastRunsToTheEnd)
{
    TSegmentList list;
    list.Reset(9000);
    list.Plan(0, 9000, 3000);
    list.SetTicked(1, false);
    list.SetTag(2, Titled("Own"));
    const TSplitJob job = SplitJobOf(list, "in.mp3", "out", "p", Titled("Page"));
    EXPECT_EQ(job.Input, "in.mp3");
    EXPECT_EQ(job.Folder, "out");
    EXPECT_EQ(job.BaseName, "p");
    EXPECT_EQ(job.Tag.Title, "Page");
    ASSERT_EQ(job.Segments.size(), 2u);
    EXPECT_EQ(job.Segments[0].StartMs, 0);
    EXPECT_EQ(job.Segments[0].EndMs, 3000);
    EXPECT_FALSE(job.Segments[0].Tag);
    EXPECT_EQ(job.Segments[1].StartMs, 6000);
    EXPECT_EQ(job.Segments[1].EndMs, std::nullopt);
    EXPECT_EQ(job.Segments[1].Tag->Title, "Own");
    list.SetTicked(2, false);
    EXPECT_EQ(SplitJobOf(list, "in.mp3", "out", "p", {}).Segments.back().EndMs, 3000)
        << "an inner last ticked row keeps its end";
}

} // namespace

// The one planner of a split: every method and option over a recording of tones and silences.
#include "plan/SplitPlanner.h"
#include "Decode.h"
#include "Fixtures.h"
#include "jobs/JobOutcome.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

constexpr int Rate = 44100;

// Tone 0-3 s, silence 3-5 s, tone 5-9 s, silence 9-10.5 s, tone 10.5-13.5 s.
fs::path Recording(const TTempDir &dir)
{
    std::vector<int16_t> samples;
    int64_t t = 0;
    for (const auto &[tone, seconds] : std::vector<std::pair<bool, double>>{
             {true, 3}, {false, 2}, {true, 4}, {false, 1.5}, {true, 3}}) {
        for (int64_t i = 0; i < int64_t(seconds * Rate); ++i, ++t) {
            const double v = tone ? 8000 * std::sin(2 * M_PI * 440 * double(t) / Rate) : 0;
            samples.insert(samples.end(), 2, int16_t(v));
        }
    }
    return EncodeSamplesWithLame(dir, "talk", samples, Rate, 2, "-b 128");
}

struct TRow
{
    int64_t start;
    bool ticked;
};

TEST(SplitPlanner, EveryMethodAndOption)
{
    TTempDir dir;
    const fs::path mp3 = Recording(dir);
    const std::string sheet = "FILE \"talk.mp3\" MP3\nTRACK 01 AUDIO\nTITLE \"One\"\nINDEX 01 "
                              "00:00:00\nTRACK 02 AUDIO\nTITLE \"Two\"\nINDEX 01 00:06:00\n";
    WriteFile(dir / "talk.cue", Bytes(sheet.begin(), sheet.end()));
    const std::string late = "FILE \"talk.mp3\" MP3\nTRACK 01 AUDIO\nINDEX 01 09:00:00\n";
    WriteFile(dir / "late.cue", Bytes(late.begin(), late.end()));
    WriteFile(dir / "bad.cue", Bytes{'F', 'O', 'O', '\n'});
    TSource source;
    TJobOutcome opened;
    ASSERT_TRUE(OpenJobInput(mp3, source, opened));

    using TMethod = TSplitRequest::TMethod;
    using TStatus = TSplitPlan::TStatus;
    auto request = [](TMethod method) {
        TSplitRequest r;
        r.Method = method;
        return r;
    };
    struct Case
    {
        const char *name;
        TSplitRequest request;
        TStatus status;
        std::vector<TRow> rows; // starts within 60 ms (a silence's middle, in 10 ms windows)
        size_t point = 0;
    };
    std::vector<Case> cases;
    TSplitRequest r = request(TMethod::Times);
    r.Times = {2000, 5000};
    cases.push_back({"times", r, TStatus::Planned, {{0, true}, {2000, true}, {5000, true}}});
    r.Times = {5000, 99000};
    cases.push_back({"a time outside", r, TStatus::PointOutside, {}, 1});
    r.Times = {5000, 5000};
    cases.push_back({"a time twice", r, TStatus::PointTwice, {}, 1});
    r = request(TMethod::Every);
    r.StepMs = 4000;
    cases.push_back(
        {"every 4 s", r, TStatus::Planned, {{0, true}, {4000, true}, {8000, true}, {12000, true}}});
    r.AdjustMs = 2500; // 8 s and 12 s both move to the silence at 9.75 s
    cases.push_back(
        {"every 4 s, adjusted", r, TStatus::Planned, {{0, true}, {4000, true}, {9750, true}}});
    r.StepMs = 0;
    cases.push_back({"no step", r, TStatus::BadStep, {}});
    r = request(TMethod::Size);
    r.StepBytes = 0;
    cases.push_back({"no size", r, TStatus::BadStep, {}});
    r = request(TMethod::Silence);
    cases.push_back({"silences", r, TStatus::Planned, {{0, true}, {4000, true}, {9750, true}}});
    r.Silence.MinPartMs = 4000; // the last part, 3.75 s, joins the one before
    cases.push_back({"silences, shortest part", r, TStatus::Planned, {{0, true}, {4000, true}}});
    r.Silence.MinPartMs = 0;
    r.Trim = true;
    cases.push_back({"silences left out",
                     r,
                     TStatus::Planned,
                     {{0, true}, {3000, false}, {5000, true}, {9000, false}, {10500, true}}});
    r.Trim = false;
    r.Silence.MinSilenceMs = 2500;
    cases.push_back({"no silence that long", r, TStatus::NoSilence, {}});
    r = request(TMethod::Cue);
    r.Cue = dir / "talk.cue";
    cases.push_back({"CUE sheet", r, TStatus::Planned, {{0, true}, {6000, true}}});
    r.Cue = dir / "late.cue";
    cases.push_back({"CUE sheet after the audio", r, TStatus::CueOutside, {}});
    r.Cue = dir / "bad.cue";
    cases.push_back({"bad CUE sheet", r, TStatus::CueFault, {}});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const TSplitPlan plan = PlanSplit(source, c.request);
        ASSERT_EQ(plan.Status, c.status);
        if (c.status == TStatus::PointTwice || c.status == TStatus::PointOutside) {
            EXPECT_EQ(plan.Point, c.point);
        }
        if (c.status != TStatus::Planned) {
            continue;
        }
        ASSERT_EQ(plan.List.Count(), c.rows.size());
        for (size_t i = 0; i < c.rows.size(); ++i) {
            EXPECT_NEAR(double(plan.List[i].StartMs), double(c.rows[i].start), 60.0) << i;
            EXPECT_EQ(plan.List[i].Ticked, c.rows[i].ticked) << i;
        }
        EXPECT_EQ(plan.List.Rows().back().EndMs, source.LengthMs());
        if (NeedsOnlyLength(c.request)) {
            const TSplitPlan alone = PlanSplit(source.LengthMs(), source.LastCutMs(), c.request);
            EXPECT_EQ(alone.List.Count(), plan.List.Count()) << "the same without the file";
        }
    }
    // A size step: the frame boundaries nearest to every so many bytes.
    r = request(TMethod::Size);
    r.StepBytes = 64 << 10;
    const TSplitPlan sized = PlanSplit(source, r);
    ASSERT_EQ(sized.Status, TStatus::Planned);
    const std::vector<int64_t> times = source.SizeCutTimes(0, source.LengthMs(), 64 << 10);
    ASSERT_EQ(sized.List.Count(), times.size() + 1);
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_EQ(sized.List[i + 1].StartMs, times[i]);
    }
    // A CUE sheet's texts go with its rows.
    r = request(TMethod::Cue);
    r.Cue = dir / "talk.cue";
    const TSplitPlan tracks = PlanSplit(source, r);
    ASSERT_TRUE(tracks.List[1].Tag);
    EXPECT_EQ(tracks.List[1].Tag->Title, "Two");
}

} // namespace

// Equal parts: each point at the frame boundary nearest to its share of the length.
TEST(SplitPlanner, EqualPartsCutAtTheNearestFrame)
{
    const double frame = 1152 * 1000.0 / 44100; // 26.12 ms
    EXPECT_EQ(EqualPartPoints(60000, 4, frame), (std::vector<int64_t>{14994, 29989, 45009}));
    EXPECT_EQ(EqualPartPoints(26122, 3, frame), (std::vector<int64_t>{8699, 17424}));
    EXPECT_TRUE(EqualPartPoints(1000, 1, frame).empty());
}

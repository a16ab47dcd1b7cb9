// A plan in and out as Audacity's label files and as CUE sheets.
#include "plan/PlanLists.h"

#include <gtest/gtest.h>

using namespace mp3core;

// Labels: start, end and text a line; spectral lines, empty lines and CRLF endings passed
// over; a line that is no label names its number; a file without labels says so.
TEST(PlanLists, LabelFilesAreRead)
{
    const TLabelsRead read = ParseLabels("1.500000\t1.500000\tOne\r\n"
                                         "\\\t400.0\t800.0\n"
                                         "\n"
                                         "62.25\t70\tTwo words\n"
                                         "0\t0.5\t\n");
    ASSERT_TRUE(read.Tracks) << read.Reason;
    ASSERT_EQ(read.Tracks->size(), 3u);
    EXPECT_EQ((*read.Tracks)[0].StartMs, 1500);
    EXPECT_EQ((*read.Tracks)[0].Tag.Title, "One");
    EXPECT_EQ((*read.Tracks)[1].StartMs, 62250);
    EXPECT_EQ((*read.Tracks)[1].Tag.Title, "Two words");
    EXPECT_EQ((*read.Tracks)[2].Tag.Title, "");
    const struct
    {
        const char *text;
        int line;
    } faults[] = {{"1.0\t2.0\ta\nabc\t2\tb\n", 2},
                  {"5\t4\tbackwards\n", 1},
                  {"1,5\t2\tcomma\n", 1},
                  {"-1\t2\tnegative\n", 1},
                  {"\n\\\t1\t2\n", 0}};
    for (const auto &f : faults) {
        const TLabelsRead bad = ParseLabels(f.text);
        EXPECT_FALSE(bad.Tracks) << f.text;
        EXPECT_EQ(bad.Line, f.line) << f.text;
        EXPECT_FALSE(bad.Reason.empty());
    }
}

// The ticked rows go out: labels to the microsecond, a sheet with the album's texts, each
// track's own, and its INDEX 01 to the nearest of 75 frames a second; quotes in a text become
// apostrophes.
TEST(PlanLists, TheTickedRowsGoOutAsLabelsAndASheet)
{
    TPartTag one;
    one.Title = "Say \"hi\"";
    one.Artist = "Guest";
    const std::vector<TSegment> rows = {
        {0, 1480, true, one}, {1480, 2000, false, std::nullopt}, {2000, 61507, true, std::nullopt}};
    EXPECT_EQ(LabelsText(rows), "0.000000\t1.480000\tSay \"hi\"\n"
                                "2.000000\t61.507000\t\n");
    TPartTag album;
    album.Artist = "Band";
    album.Album = "LP";
    EXPECT_EQ(CueText(rows, "/music/lp.mp3", album), "PERFORMER \"Band\"\n"
                                                     "TITLE \"LP\"\n"
                                                     "FILE \"lp.mp3\" MP3\n"
                                                     "  TRACK 01 AUDIO\n"
                                                     "    TITLE \"Say 'hi'\"\n"
                                                     "    PERFORMER \"Guest\"\n"
                                                     "    INDEX 01 00:00:00\n"
                                                     "  TRACK 02 AUDIO\n"
                                                     "    INDEX 01 00:02:00\n");
    // A sheet made here reads back to the same starts.
    const TCueRead back = ParseCueSheet(CueText(rows, "lp.mp3", album), "lp.mp3");
    ASSERT_TRUE(back.Sheet) << back.Reason;
    ASSERT_EQ(back.Sheet->Tracks.size(), 2u);
    EXPECT_EQ(back.Sheet->Tracks[1].StartMs, 2000);
    EXPECT_EQ(back.Sheet->Tracks[0].Tag.Title, "Say 'hi'");
}

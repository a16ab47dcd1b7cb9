// CUE sheets: the tracks and texts read from them, the faults told by their line, and the
// segment list and part names they make.
#include "plan/CueSheet.h"
#include "Fixtures.h"
#include "plan/SegmentList.h"
#include "tags/TextCodec.h"

#include <gtest/gtest.h>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

TCueRead Parse(const std::string &sheet, const std::string &audio = "album.mp3")
{
    return ParseCueSheet(sheet, audio);
}

// How the tracks read: "number start title|artist|album|album artist|year|genre", one a line.
std::string Describe(const TCueSheet &sheet)
{
    std::string text;
    for (const TCueTrack &t : sheet.Tracks) {
        const TPartTag &g = t.Tag;
        text += std::to_string(t.Number) + " " + std::to_string(t.StartMs) + " " + g.Title + "|" +
                g.Artist + "|" + g.Album + "|" + g.AlbumArtist + "|" + g.Year + "|" +
                std::to_string(g.GenreID) + "\n";
    }
    return text;
}

TEST(CueSheet, ReadsTracksTextsAndStartsAsWritersWriteThem)
{
    // What rippers write: a byte order mark, CRLF, comments, catalog and flags, a pregap, a
    // track without a title, one with its own performer and date, lower-case commands, a title
    // without quotes (ending in a backslash), a quote inside a title.
    const std::string sheet = "\xEF\xBB\xBFREM GENRE Rock\r\n"
                              "REM DATE 1999\r\n"
                              "REM COMMENT \"ExactAudioCopy v1.6\"\r\n"
                              "CATALOG 0000000000000\r\n"
                              "PERFORMER \"The Band\"\r\n"
                              "TITLE \"Album \\\"Live\\\"\"\r\n"
                              "FILE \"album.wav\" WAVE\r\n"
                              "  TRACK 01 AUDIO\r\n"
                              "    TITLE \"第一首\"\r\n"
                              "    FLAGS DCP\r\n"
                              "    INDEX 01 00:00:00\r\n"
                              "  TRACK 02 AUDIO\r\n"
                              "    PERFORMER \"Guest\"\r\n"
                              "    REM DATE 2001\r\n"
                              "    INDEX 00 03:10:00\r\n"
                              "    INDEX 01 03:12:37\r\n"
                              "  track 03 audio\r\n"
                              "    title Two Words\\\r\n"
                              "    index 01 05:00:01\r\n"
                              "  TRACK 04 AUDIO\r\n"
                              "    ISRC USXXX0000001\r\n"
                              "    INDEX 01 61:00:74\r\n";
    const TCueRead read = Parse(sheet);
    ASSERT_TRUE(read.Sheet) << read.Line << ": " << read.Reason;
    EXPECT_EQ(read.Sheet->File, "album.wav");
    EXPECT_EQ(read.Sheet->Note, "") << "album.wav is what album.mp3 was encoded from";
    // 37 frames are 493.3 ms, 1 frame 13.3 ms, 74 frames 986.7 ms.
    EXPECT_EQ(Describe(*read.Sheet),
              "1 0 第一首|The Band|Album \"Live\"|The Band|1999|17\n"
              "2 192493 |Guest|Album \"Live\"|The Band|2001|17\n"
              "3 300013 Two Words\\|The Band|Album \"Live\"|The Band|1999|17\n"
              "4 3660987 |The Band|Album \"Live\"|The Band|1999|17\n");
}

TEST(CueSheet, ReadsGB18030WhenTheSheetIsNotUtf8)
{
    const std::string utf8 = "PERFORMER \"王菲\"\nFILE \"a.mp3\" MP3\nTRACK 01 AUDIO\n"
                             "TITLE \"红豆\"\nINDEX 01 00:00:00\n";
    for (const std::string &bytes : {utf8, Utf8ToGB18030(utf8)}) {
        const TCueRead read = Parse(bytes);
        ASSERT_TRUE(read.Sheet) << read.Reason;
        EXPECT_EQ(Describe(*read.Sheet), "1 0 红豆|王菲||王菲||255\n");
    }
}

TEST(CueSheet, AFaultIsToldByItsLine)
{
    const std::string head = "TITLE \"x\"\nFILE \"album.mp3\" MP3\nTRACK 01 AUDIO\n";
    const struct
    {
        std::string sheet;
        int line;
        std::string reason;
    } cases[] = {
        {head + "INDEX 01 00:00:00\nFOO bar\n", 5, "unknown command 'FOO'"},
        {head + "INDEX 01 00:60:00\n", 4, "bad time '00:60:00'"},
        {head + "INDEX 01 00:00:75\n", 4, "bad time '00:00:75'"},
        {head + "INDEX 01 0:00\n", 4, "bad time '0:00'"},
        {head + "INDEX 01\n", 4, "INDEX takes 2 values"},
        {head + "TITLE \"open\nINDEX 01 00:00:00\n", 4, "a quote is not closed"},
        {head + "TITLE \"a\"b\nINDEX 01 00:00:00\n", 4, "text follows a closing quote"},
        {"TRACK 01 AUDIO\nINDEX 01 00:00:00\n", 1, "TRACK comes before any FILE"},
        {"FILE \"a.mp3\" MP3\nINDEX 01 00:00:00\n", 2, "INDEX comes before any TRACK"},
        {head + "TRACK 02 AUDIO\nINDEX 01 00:01:00\n", 3, "track 01 has no INDEX 01"},
        {head + "INDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 00:01:00\n", 5,
         "track 02 has no INDEX 01"},
        {head + "INDEX 01 01:00:00\nTRACK 02 AUDIO\nINDEX 01 00:59:00\n", 6,
         "track 02 starts before the end of the track before it"},
        {head + "INDEX 01 00:00:00\nINDEX 01 00:01:00\n", 5, "track 01 has a second INDEX 01"},
        {head + "INDEX 01 00:00:00\nTRACK 100 AUDIO\n", 5, "bad track number '100'"},
        {head + "INDEX 01 00:00:00\nPREGAP 2s\n", 5, "bad time '2s'"},
        {head + "INDEX 01 00:00:00\n" + std::string("REM \0", 5) + "\n", 5, "NUL byte"},
        {"REM only a comment\n", 0, "it holds no TRACK"},
        {head + "INDEX 01 01:00:00\nFILE \"album.mp3\" MP3\nTRACK 02 AUDIO\nINDEX 01 00:30:00\n", 7,
         "track 02 starts before the end of the track before it"}, // the same file again
        {[] {
             std::string many = "FILE \"a.mp3\" MP3\n";
             for (int n = 1; n <= 100; ++n) {
                 many += "TRACK 01 AUDIO\nINDEX 01 " + std::to_string(n) + ":00:00\n";
             }
             return many;
         }(),
         200, "a CUE sheet holds at most 99 tracks"},
        {"\xFF\xFE"
         "F\0I\0L\0E\0",
         0, "UTF-16"},
    };
    for (const auto &c : cases) {
        const TCueRead read = Parse(c.sheet);
        EXPECT_FALSE(read.Sheet) << c.sheet;
        EXPECT_EQ(read.Line, c.line) << c.sheet;
        EXPECT_NE(read.Reason.find(c.reason), std::string::npos) << read.Reason;
    }
}

TEST(CueSheet, TheTracksOfTheFileBeingSplit)
{
    const std::string twoFiles =
        "FILE \"Side A.wav\" WAVE\nTRACK 01 AUDIO\nTITLE \"a1\"\n"
        "INDEX 01 00:00:00\nTRACK 02 AUDIO\nTITLE \"a2\"\nINDEX 01 02:00:00\n"
        "FILE \"Side B.wav\" WAVE\nTRACK 03 AUDIO\nTITLE \"b1\"\n"
        "INDEX 01 00:00:00\nTRACK 04 AUDIO\nTITLE \"b2\"\nINDEX 01 01:00:00\n";
    const TCueRead b = Parse(twoFiles, "/music/side b.mp3");
    ASSERT_TRUE(b.Sheet) << b.Reason;
    EXPECT_EQ(b.Sheet->File, "Side B.wav");
    EXPECT_EQ(Describe(*b.Sheet), "3 0 b1|||||255\n4 60000 b2|||||255\n")
        << "times count from the start of their file";

    // A FILE between a track's INDEX 00 and INDEX 01: the track starts in the new file.
    const TCueRead gapInA = Parse("FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                  "TRACK 02 AUDIO\nINDEX 00 03:00:00\nFILE \"b.wav\" WAVE\n"
                                  "INDEX 01 00:00:00\nTRACK 03 AUDIO\nINDEX 01 01:00:00\n",
                                  "b.mp3");
    ASSERT_TRUE(gapInA.Sheet) << gapInA.Reason;
    EXPECT_EQ(Describe(*gapInA.Sheet), "2 0 |||||255\n3 60000 |||||255\n");

    const TCueRead none = Parse(twoFiles, "mix.mp3");
    EXPECT_FALSE(none.Sheet);
    EXPECT_EQ(none.Line, 0);
    EXPECT_EQ(none.Reason, "it names several files ('Side A.wav', 'Side B.wav') and none of them "
                           "is 'mix.mp3'");

    // One file of another name: its times are used, and a note says so.
    const TCueRead other =
        Parse("FILE \"rip.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "mix.mp3");
    ASSERT_TRUE(other.Sheet);
    EXPECT_EQ(other.Sheet->Note,
              "the CUE sheet is for 'rip.flac'; its times are used for 'mix.mp3'");
}

TEST(CueSheet, ReadFromAFile)
{
    TTempDir dir;
    const std::string text = "FILE \"a.mp3\" MP3\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    WriteFile(dir / "a.cue", Bytes(text.begin(), text.end()));
    EXPECT_TRUE(ReadCueSheet(dir / "a.cue", dir / "a.mp3").Sheet);
    const TCueRead missing = ReadCueSheet(dir / "b.cue", dir / "a.mp3");
    EXPECT_FALSE(missing.Sheet);
    EXPECT_EQ(missing.Reason, "No such file or directory");
    EXPECT_EQ(ReadCueSheet(dir.Path(), dir / "a.mp3").Reason, "it is not a regular file");
    WriteFile(dir / "big.cue", Bytes((1 << 20) + 1, ' '));
    EXPECT_NE(ReadCueSheet(dir / "big.cue", dir / "a.mp3").Reason.find("too large"),
              std::string::npos);
}

TEST(CueSheet, TracksBecomeTaggedRowsAndThoseOutsideTheAudioAreLeftOut)
{
    const TCueRead read =
        Parse("TITLE \"LP\"\nFILE \"album.mp3\" MP3\n"
              "TRACK 01 AUDIO\nTITLE \"one\"\nINDEX 00 00:00:00\nINDEX 01 00:02:00\n"
              "TRACK 02 AUDIO\nTITLE \"two\"\nINDEX 01 00:30:00\n"
              "TRACK 03 AUDIO\nTITLE \"three\"\nINDEX 01 00:59:00\n"
              "TRACK 04 AUDIO\nTITLE \"four\"\nINDEX 01 01:00:00\n"
              "TRACK 05 AUDIO\nTITLE \"five\"\nINDEX 01 05:00:00\n");
    ASSERT_TRUE(read.Sheet) << read.Reason;
    TSegmentList list;
    list.Reset(60000, 59950); // a minute of audio
    list.AddCut(10000);       // replaced by the sheet's rows
    EXPECT_EQ(list.PlanTracks(read.Sheet->Tracks), 2u) << "the tracks at and after 1:00";
    ASSERT_EQ(list.Count(), 4u);
    EXPECT_FALSE(list[0].Ticked) << "the pregap before track 1 is no track's";
    EXPECT_FALSE(list[0].Tag);
    const char *titles[] = {"one", "two", "three"};
    const int64_t starts[] = {2000, 30000, 59000};
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_TRUE(list[i].Ticked);
        EXPECT_EQ(list[i].StartMs, starts[i - 1]);
        ASSERT_TRUE(list[i].Tag);
        EXPECT_EQ(list[i].Tag->Title, titles[i - 1]);
        EXPECT_EQ(list[i].Tag->Album, "LP");
    }
    EXPECT_EQ(list[3].EndMs, 60000);
}

} // namespace

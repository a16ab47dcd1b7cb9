#include "Fixtures.h"
#include "io/Errors.h"
#include "tags/MP3TAG.h"

#include "tags/TextCodec.h"
#include <gtest/gtest.h>

#include <cstring>

using namespace mp3core;

namespace {

// A 128-byte record with the given bytes at the given offsets, the rest NUL.
Bytes Record(std::initializer_list<std::pair<int, std::string>> fields, uint8_t genre,
             const char *id = "TAG")
{
    Bytes r(128, 0);
    std::memcpy(r.data(), id, 3);
    for (const auto &[offset, text] : fields) {
        std::memcpy(r.data() + offset, text.data(), text.size());
    }
    r[127] = genre;
    return r;
}

struct Streamed
{
    TTempDir dir;
    std::filesystem::path path;
    explicit Streamed(const Bytes &bytes) : path(dir / "f.mp3") { WriteFile(path, bytes); }
    Bytes Contents() const { return ReadFile(path); }
};

TEST(ID3Tag, ReadsTrimmedTextsAndGenre)
{
    Bytes file(1000, 0x55);
    Append(file, Record({{3, "Song" + std::string(26, ' ')},
                         {33, std::string(30, 'A')},
                         {63, "  \x01"
                              "Alb"},
                         {93, "1999"},
                         {97, std::string("Note\0garbage", 12)}},
                        84));
    Streamed f(file);
    TFileStream s(f.path, fmOpenRead);
    TID3Tag tag;
    ASSERT_TRUE(tag.ReadTag(s));
    EXPECT_EQ(tag.Title, "Song");
    EXPECT_EQ(tag.Artist, std::string(30, 'A'));
    EXPECT_EQ(tag.Album, "Alb");
    EXPECT_EQ(tag.Year, "1999");
    EXPECT_EQ(tag.Comment, "Note");
    EXPECT_EQ(tag.GenreID, 84);
    EXPECT_EQ(tag.Genre, "Bebob");
}

TEST(ID3Tag, GenreNumbers)
{
    for (const auto &[id, name] : std::vector<std::pair<int, std::string>>{
             {0, "Blues"}, {84, "Bebob"}, {114, "Folklore"}, {115, "Unknown"}, {255, "Unknown"}}) {
        Streamed f(Record({}, uint8_t(id)));
        TFileStream s(f.path, fmOpenRead);
        TID3Tag tag;
        ASSERT_TRUE(tag.ReadTag(s));
        EXPECT_EQ(tag.GenreID, id);
        EXPECT_EQ(tag.Genre, name);
    }
    EXPECT_EQ(GenreNames.size(), 115u);
    EXPECT_EQ(GenreNames[83], "Swing");
    EXPECT_EQ(GenreNames[67], "Psychadelic");
    EXPECT_EQ(GenreNames[81], "Folk/Rock");
}

TEST(ID3Tag, IdentifierMustMatchExactly)
{
    for (const char *id : {"tag", "TAg", "TA\0"}) {
        Bytes file(500, 0x55);
        Append(file, Record({{3, "x"}}, 1, id));
        Streamed f(file);
        TFileStream s(f.path, fmOpenReadWrite);
        TID3Tag tag;
        tag.Title = "kept";
        EXPECT_FALSE(tag.ReadTag(s));
        EXPECT_EQ(tag.Title, "kept");
        EXPECT_TRUE(tag.RemoveTag(s));
        EXPECT_EQ(s.Size(), 628);
    }
}

TEST(ID3Tag, WriteBuildsASpacePaddedRecord)
{
    Streamed f(Bytes(300, 0x55));
    TFileStream s(f.path, fmOpenReadWrite);
    TID3Tag tag;
    tag.GenreID = 12;
    ASSERT_TRUE(tag.WriteTag(s));
    EXPECT_EQ(s.Size(), 428) << "appended";
    Bytes expected(128, ' ');
    std::memcpy(expected.data(), "TAG", 3);
    expected[127] = 12;
    const Bytes contents = f.Contents();
    EXPECT_EQ(Bytes(contents.end() - 128, contents.end()), expected);

    tag.Title = "Title";
    tag.Year = "99";
    tag.Comment = std::string(40, 'c'); // longer than its field
    tag.GenreID = 255;
    ASSERT_TRUE(tag.WriteTag(s));
    EXPECT_EQ(s.Size(), 428) << "replaced";
    const Bytes after = f.Contents();
    const Bytes rec(after.end() - 128, after.end());
    EXPECT_EQ(std::string(rec.begin() + 3, rec.begin() + 33), "Title" + std::string(25, ' '));
    EXPECT_EQ(std::string(rec.begin() + 93, rec.begin() + 97), "99  ");
    EXPECT_EQ(std::string(rec.begin() + 97, rec.begin() + 127), std::string(30, 'c'));
    EXPECT_EQ(rec[127], 255);
    EXPECT_EQ(Bytes(after.begin(), after.begin() + 300), Bytes(300, 0x55));
}

TEST(ID3Tag, RemoveThenWriteKeepsTheSize)
{
    Bytes file(700, 0x55);
    Append(file, Record({{3, "old"}}, 3));
    Streamed f(file);
    TFileStream s(f.path, fmOpenReadWrite);
    TID3Tag tag;
    ASSERT_TRUE(tag.RemoveTag(s));
    EXPECT_EQ(s.Size(), 700);
    tag.Title = "new";
    ASSERT_TRUE(tag.WriteTag(s));
    EXPECT_EQ(s.Size(), 828);
    s.Seek(0, soBeginning);
    TID3Tag back;
    ASSERT_TRUE(back.ReadTag(s));
    EXPECT_EQ(back.Title, "new");
}

TEST(ID3Tag, StreamOfExactlyOneRecord)
{
    Streamed f(Record({{3, "only"}}, 0));
    TFileStream s(f.path, fmOpenReadWrite);
    TID3Tag tag;
    ASSERT_TRUE(tag.ReadTag(s));
    EXPECT_EQ(tag.Title, "only");
    ASSERT_TRUE(tag.RemoveTag(s));
    EXPECT_EQ(s.Size(), 0);
}

TEST(ID3Tag, ShortStreamsHoldNoTag)
{
    for (size_t n : {0, 1, 127}) {
        Streamed f(Bytes(n, 'T'));
        TFileStream s(f.path, fmOpenReadWrite);
        TID3Tag tag;
        EXPECT_FALSE(tag.ReadTag(s));
        EXPECT_TRUE(tag.RemoveTag(s));
        EXPECT_EQ(s.Size(), int64_t(n));
        tag.Title = "t";
        EXPECT_TRUE(tag.WriteTag(s));
        EXPECT_EQ(s.Size(), int64_t(n) + 128) << "the tag is appended";
        const Bytes c = f.Contents();
        EXPECT_EQ(Bytes(c.begin(), c.begin() + long(n)), Bytes(n, 'T'));
    }
}

TEST(ID3Tag, LongTextsAreCutAtACharacterBoundary)
{
    // "中" is D6 D0 in GB18030; a four-byte character is 81 30 81 30.
    const std::string zhong = "\xD6\xD0";
    const std::string four = "\x81\x30\x81\x30";
    EXPECT_EQ(CutGB18030(std::string(29, 'a') + zhong, 30), std::string(29, 'a'));
    EXPECT_EQ(CutGB18030(std::string(28, 'a') + zhong, 30), std::string(28, 'a') + zhong);
    EXPECT_EQ(CutGB18030(std::string(27, 'a') + four, 30), std::string(27, 'a'));
    EXPECT_EQ(CutGB18030(zhong + zhong + "x", 4), zhong + zhong);
    EXPECT_EQ(CutGB18030("abc", 30), "abc");

    Streamed f(Bytes(200, 0x55));
    TFileStream s(f.path, fmOpenReadWrite);
    TID3Tag tag;
    tag.Title = std::string(29, 'a') + zhong;
    tag.Year = "20245";
    ASSERT_TRUE(tag.WriteTag(s));
    const Bytes c = f.Contents();
    const Bytes rec(c.end() - 128, c.end());
    EXPECT_EQ(std::string(rec.begin() + 3, rec.begin() + 33), std::string(29, 'a') + " ");
    EXPECT_EQ(std::string(rec.begin() + 93, rec.begin() + 97), "2024");
}

TEST(ID3Tag, WriteOnAReadOnlyStreamRaises)
{
    Streamed f(Bytes(300, 0x55));
    TFileStream s(f.path, fmOpenRead);
    TID3Tag tag;
    EXPECT_THROW(tag.WriteTag(s), EWriteError);
}

TEST(TextCodec, TellsUtf8FromOtherBytes)
{
    for (const char *good : {"", "plain", "第一首", "\xF0\x9F\x8E\xB5", "\xF4\x8F\xBF\xBF"}) {
        EXPECT_TRUE(IsUtf8(good)) << good;
    }
    for (const char *bad : {"\xB5\xDA", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                            "\xF4\x90\x80\x80", "\xE4\xB8", "\x80", "\xFF"}) {
        EXPECT_FALSE(IsUtf8(bad)) << bad;
    }
}

} // namespace

// The tags that go with every output, read back with TagLib.
#include "Fixtures.h"
#include "jobs/CutJob.h"
#include "jobs/SplitJob.h"
#include "tags/MP3TAG.h"
#include "tags/TextCodec.h"

#include <attachedpictureframe.h>
#include <commentsframe.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <textidentificationframe.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

using namespace TagLib;

// 23 characters: 69 bytes of UTF-8, 46 of GB18030.
const std::string LongTitle = "第一章：一个很长很长的标题，远远超过三十个字节";

Bytes Picture()
{
    Bytes p(300 * 1024);
    for (size_t i = 0; i < p.size(); ++i) {
        p[i] = uint8_t(i * 7 + i / 251);
    }
    return p;
}

// The source's pictures: its description and bytes, in their order.
using TPictures = std::vector<std::pair<std::string, Bytes>>;

TPictures Pictures()
{
    Bytes back(5000);
    for (size_t i = 0; i < back.size(); ++i) {
        back[i] = uint8_t(255 - i % 256);
    }
    return {{"", Picture()}, {"", Bytes(100, 0x5A)}, {"封底", back}};
}

// A source tag as an encoder writes it: ID3v2.3 in UTF-16 and Latin-1, with three pictures (the
// cover, one whose other fields are the cover's, and one with a description in UTF-16) and
// frames of every kind, some of which describe the whole source.
Bytes SourceId3v2()
{
    ID3v2::Tag tag;
    const auto text = [&](const char *id, const std::string &utf8, String::Type encoding) {
        auto *f = new ID3v2::TextIdentificationFrame(id, encoding);
        f->setText(String(utf8, String::UTF8));
        tag.addFrame(f);
    };
    text("TIT2", "Source title", String::Latin1);
    text("TPE1", "Synthetic Artist 歌手", String::UTF16);
    text("TALB", "Album 专辑", String::UTF16);
    text("TDRC", "2023", String::Latin1);
    text("TCON", "Electronic", String::Latin1);
    text("TLEN", "7836", String::Latin1);
    auto *comment = new ID3v2::CommentsFrame(String::UTF16);
    comment->setLanguage("eng");
    comment->setText(String("A comment 注释", String::UTF8));
    tag.addFrame(comment);
    auto *custom = new ID3v2::UserTextIdentificationFrame(String::Latin1);
    custom->setDescription("CATALOG");
    custom->setText("XYZ-1");
    tag.addFrame(custom);
    auto *gain = new ID3v2::UserTextIdentificationFrame(String::Latin1);
    gain->setDescription("REPLAYGAIN_TRACK_GAIN");
    gain->setText("-6.0 dB");
    tag.addFrame(gain);
    for (const auto &[description, bytes] : Pictures()) {
        auto *picture = new ID3v2::AttachedPictureFrame;
        picture->setMimeType("image/jpeg");
        picture->setType(description.empty() ? ID3v2::AttachedPictureFrame::FrontCover
                                             : ID3v2::AttachedPictureFrame::BackCover);
        picture->setTextEncoding(String::UTF16);
        picture->setDescription(String(description, String::UTF8));
        picture->setPicture(
            ByteVector(reinterpret_cast<const char *>(bytes.data()), unsigned(bytes.size())));
        tag.addFrame(picture);
    }
    const ByteVector bytes = tag.render(ID3v2::v3);
    return Bytes(bytes.begin(), bytes.end());
}

// An output's ID3v2 tag as TagLib reads it: frame id to its texts.
struct TReadBack
{
    int version = 0;
    std::map<std::string, std::string> texts; // the first frame of each id
    std::vector<std::string> ids;
    TPictures pictures;
    bool utf8 = true; // every text frame in UTF-8
};

TReadBack ReadBack(const fs::path &path)
{
    TReadBack r;
    MPEG::File file(path.c_str(), false);
    if (!file.hasID3v2Tag()) {
        return r;
    }
    ID3v2::Tag *tag = file.ID3v2Tag();
    r.version = int(tag->header()->majorVersion());
    for (ID3v2::Frame *f : tag->frameList()) {
        const std::string id(f->frameID().data(), f->frameID().size());
        r.ids.push_back(id);
        if (auto *p = dynamic_cast<ID3v2::AttachedPictureFrame *>(f)) {
            const ByteVector picture = p->picture();
            r.pictures.push_back(
                {p->description().to8Bit(true), Bytes(picture.begin(), picture.end())});
            r.utf8 = r.utf8 && p->textEncoding() == String::UTF8;
        } else if (!r.texts.count(id)) {
            r.texts[id] = f->toString().to8Bit(true);
        }
        if (auto *t = dynamic_cast<ID3v2::TextIdentificationFrame *>(f)) {
            r.utf8 = r.utf8 && t->textEncoding() == String::UTF8;
        }
        if (auto *c = dynamic_cast<ID3v2::CommentsFrame *>(f)) {
            r.utf8 = r.utf8 && c->textEncoding() == String::UTF8;
        }
    }
    return r;
}

std::optional<TID3Tag> Id3v1Of(const fs::path &path)
{
    TFileStream s(path, fmOpenRead);
    TID3Tag tag;
    return tag.ReadTag(s) ? std::optional<TID3Tag>(tag) : std::nullopt;
}

struct OutputTags : ::testing::Test
{
    TTempDir dir;
    Bytes audio;

    void SetUp() override { AppendFrames(audio, THeaderSpec{}, 300); } // 7.8 s of CBR

    fs::path Source(const Bytes &front, const Bytes &back, const char *name = "in.mp3")
    {
        Bytes file = front;
        Append(file, audio);
        Append(file, back);
        WriteFile(dir / name, file);
        return dir / name;
    }

    TSplitJob Split(const fs::path &input)
    {
        TSplitJob job;
        job.Input = input;
        job.Folder = dir.Path();
        job.BaseName = "p";
        job.Segments = {{0, 3000, {}}, {3000, std::nullopt, {}}};
        job.WholeFrames = true;
        return job;
    }

    Bytes JoinedFrames(const TJobOutcome &o)
    {
        Bytes all;
        for (const fs::path &part : o.Written) {
            Append(all, FramesOf(part));
        }
        return all;
    }
};

TEST_F(OutputTags, ACutCarriesEverySourceFrameAsId3v24InUtf8)
{
    const fs::path in = Source(SourceId3v2(), Id3v1Tag("Old v1 title", 52));
    TCutJob job{in, dir / "cut.mp3", 1000, 5000, true, true};
    const TJobOutcome o = RunCut(job);
    ASSERT_EQ(o.Status, TJobStatus::Done);
    EXPECT_EQ(o.TagNote, "");
    const TReadBack r = ReadBack(job.Output);
    EXPECT_EQ(r.version, 4);
    EXPECT_TRUE(r.utf8);
    EXPECT_EQ(r.texts.at("TIT2"), "Source title");
    EXPECT_EQ(r.texts.at("TPE1"), "Synthetic Artist 歌手");
    EXPECT_EQ(r.texts.at("TALB"), "Album 专辑");
    EXPECT_EQ(r.texts.at("TDRC"), "2023");
    EXPECT_EQ(r.texts.at("TCON"), "Electronic");
    EXPECT_EQ(r.texts.at("COMM"), "A comment 注释");
    EXPECT_EQ(r.texts.at("TXXX"), "[CATALOG] XYZ-1");
    EXPECT_EQ(r.pictures, Pictures()) << "the pictures, byte for byte";
    EXPECT_EQ(r.texts.count("TLEN"), 0u) << "the source's length is not the cut's";
    EXPECT_EQ(std::count(r.ids.begin(), r.ids.end(), "TXXX"), 1) << "nor its replay gain";
    EXPECT_EQ(r.texts.count("TRCK"), 0u);
    const auto v1 = Id3v1Of(job.Output);
    ASSERT_TRUE(v1);
    EXPECT_EQ(v1->Title, "Old v1 title") << "the source's own ID3v1 tag";
    EXPECT_EQ(v1->GenreID, 52);
    EXPECT_EQ(FramesOf(job.Output).size() % 417, 0u) << "nothing but frames between the tags";

    job.Output = dir / "bare.mp3";
    job.KeepTags = false;
    ASSERT_EQ(RunCut(job).Status, TJobStatus::Done);
    EXPECT_EQ(ReadBack(job.Output).version, 0);
    EXPECT_FALSE(Id3v1Of(job.Output));
}

TEST_F(OutputTags, PartsOfASplitAreNumberedAndTakeTheTextsGiven)
{
    const fs::path in = Source(SourceId3v2(), {});
    TSplitJob job = Split(in);
    job.Tags = TTagFrames::All;
    job.Tag.Title = LongTitle;
    const TJobOutcome o = RunSplit(job);
    ASSERT_EQ(o.Status, TJobStatus::Done);
    ASSERT_EQ(o.Written.size(), 2u);
    EXPECT_EQ(JoinedFrames(o), audio);
    for (size_t n = 0; n < 2; ++n) {
        const TReadBack r = ReadBack(o.Written[n]);
        EXPECT_EQ(r.texts.at("TIT2"), LongTitle) << "whole in ID3v2";
        EXPECT_EQ(r.texts.at("TPE1"), "Synthetic Artist 歌手") << "the source's where none given";
        EXPECT_EQ(r.texts.at("TRCK"), std::to_string(n + 1) + "/2");
        EXPECT_EQ(r.pictures, Pictures());
        EXPECT_EQ(r.texts.at("TXXX"), "[CATALOG] XYZ-1");
        // No ID3v1 in the source: one is made from the texts, cut at a character boundary.
        const auto v1 = Id3v1Of(o.Written[n]);
        ASSERT_TRUE(v1);
        EXPECT_EQ(GB18030ToUtf8(v1->Title), "第一章：一个很长很长的标题，远") << "15 of 23";
        EXPECT_EQ(GB18030ToUtf8(v1->Artist), "Synthetic Artist 歌手");
        EXPECT_EQ(v1->Genre, "Electronic");
        EXPECT_EQ(v1->Track, n + 1);
    }
}

TEST_F(OutputTags, TheWindowsPartsHoldTheirTextsAndTheSourcesPicturesOnly)
{
    const fs::path in = Source(SourceId3v2(), Id3v1Tag("v1", 3));
    TSplitJob job = Split(in);
    job.Tag = {LongTitle, "Artist", "", "1999", "", 13, {}};
    TPartTag untitled;
    untitled.Artist = "no title";
    job.Segments[1].Tag = untitled;
    const TJobOutcome o = RunSplit(job);
    ASSERT_EQ(o.Status, TJobStatus::Done);
    const TReadBack r = ReadBack(o.Written[0]);
    EXPECT_EQ(r.texts, (std::map<std::string, std::string>{{"TIT2", LongTitle},
                                                           {"TPE1", "Artist"},
                                                           {"TDRC", "1999"},
                                                           {"TCON", "Pop"},
                                                           {"TRCK", "1/2"}}));
    EXPECT_EQ(r.pictures, Pictures());
    const auto v1 = Id3v1Of(o.Written[0]);
    ASSERT_TRUE(v1);
    EXPECT_EQ(v1->Title.size(), 30u) << "15 characters of two bytes";
    EXPECT_EQ(v1->Album, "");
    EXPECT_EQ(ReadBack(o.Written[1]).version, 0) << "a part without a title has no tag";
    EXPECT_FALSE(Id3v1Of(o.Written[1]));
    EXPECT_EQ(JoinedFrames(o), audio);
}

TEST_F(OutputTags, AnOutputThatCarriesTagsCarriesBoth)
{
    // Only an ID3v1 tag: the ID3v2 tag is made from it. No tag at all: none is made.
    const fs::path v1only = Source({}, Id3v1Tag("Only v1", 17), "v1.mp3");
    TCutJob job{v1only, dir / "a.mp3", 0, 3000, true, true};
    ASSERT_EQ(RunCut(job).Status, TJobStatus::Done);
    const TReadBack r = ReadBack(job.Output);
    EXPECT_EQ(r.texts.at("TIT2"), "Only v1");
    EXPECT_EQ(r.texts.at("TCON"), "Rock");
    EXPECT_EQ(Id3v1Of(job.Output)->Title, "Only v1");

    job = {Source({}, {}, "bare.mp3"), dir / "b.mp3", 0, 3000, true, true};
    ASSERT_EQ(RunCut(job).Status, TJobStatus::Done);
    EXPECT_EQ(ReadFile(job.Output).size(), FramesOf(job.Output).size() + 417)
        << "an untagged source gives an untagged cut";
}

// Damaged source tags: the audio is written whole, the ID3v2 tag is left out with a note, and
// the ID3v1 tag still goes along.
TEST_F(OutputTags, DamagedTagsAreLeftOutAndTheAudioIsWritten)
{
    const Bytes good = SourceId3v2();
    struct Case
    {
        const char *name;
        Bytes tag;
        const char *says;
    };
    Bytes pastTheFile = Id3v2Tag(100);
    pastTheFile[6] = 0x7F; // about 256 MB
    Bytes frameOverrun = good;
    frameOverrun[10 + 4] = 0x7F; // TIT2's size runs past the tag
    Bytes badName = good;
    badName[10] = '#';
    Bytes badHeader = Id3v2Tag(100);
    badHeader[3] = 9; // no such version
    const std::vector<Case> cases = {
        {"size past the file", pastTheFile, "damaged ID3v2 tag left out"},
        {"frame overrun", frameOverrun, "a frame runs past the end of the tag"},
        {"bad frame name", badName, "a frame has no valid name"},
        {"bad version", badHeader, "its header is not valid"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path in = Source(c.tag, Id3v1Tag("Kept", 1));
        TSplitJob job = Split(in);
        job.Tags = TTagFrames::All;
        const TJobOutcome o = RunSplit(job);
        ASSERT_EQ(o.Status, TJobStatus::Done);
        EXPECT_NE(o.TagNote.find(c.says), std::string::npos) << o.TagNote;
        EXPECT_EQ(JoinedFrames(o), audio) << "the audio whole";
        for (const fs::path &part : o.Written) {
            const TReadBack r = ReadBack(part);
            EXPECT_EQ(r.texts.at("TIT2"), "Kept") << "made from the ID3v1 tag";
            EXPECT_TRUE(r.pictures.empty());
            EXPECT_EQ(Id3v1Of(part)->Title, "Kept");
        }
        for (const fs::path &part : o.Written) {
            fs::remove(part);
        }
    }
}

// An ID3v2.3 tag given an extended header (of 6 bytes, or of 10 with a CRC), and unsynchronised
// as a whole when asked: every 0xFF before a byte of 0xE0 or more, or before 0x00, gets a 0x00.
Bytes WithExtendedHeader(const Bytes &tag, bool withCrc, bool unsynchronised)
{
    Bytes body = withCrc ? Bytes{0, 0, 0, 10, 0x80, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78}
                         : Bytes{0, 0, 0, 6, 0, 0, 0, 0, 0, 0};
    const size_t size =
        (size_t(tag[6]) << 21) | (size_t(tag[7]) << 14) | (size_t(tag[8]) << 7) | size_t(tag[9]);
    body.insert(body.end(), tag.begin() + 10, tag.begin() + 10 + long(size));
    if (unsynchronised) {
        Bytes stored;
        for (size_t i = 0; i < body.size(); ++i) {
            stored.push_back(body[i]);
            if (body[i] == 0xFF &&
                (i + 1 == body.size() || body[i + 1] >= 0xE0 || body[i + 1] == 0)) {
                stored.push_back(0);
            }
        }
        body = stored;
    }
    Bytes out(tag.begin(), tag.begin() + 10);
    out[5] = uint8_t(0x40 | (unsynchronised ? 0x80 : 0));
    for (int i = 0; i < 4; ++i) {
        out[6 + i] = uint8_t((body.size() >> (7 * (3 - i))) & 0x7F);
    }
    Append(out, body);
    return out;
}

// Tags as other writers lay them out: every frame goes along, or a note says why none does.
TEST_F(OutputTags, Id3v23TagsWithAnExtendedHeaderAreCarriedWhole)
{
    Bytes pastTheTag = WithExtendedHeader(SourceId3v2(), false, false);
    pastTheTag[10] = 0x7F; // the extended header's size runs past the tag
    struct Case
    {
        const char *name;
        Bytes tag;
    };
    for (const Case &c : {Case{"extended header", WithExtendedHeader(SourceId3v2(), false, false)},
                          Case{"with its CRC", WithExtendedHeader(SourceId3v2(), true, false)},
                          Case{"unsynchronised", WithExtendedHeader(SourceId3v2(), false, true)},
                          Case{"both", WithExtendedHeader(SourceId3v2(), true, true)}}) {
        SCOPED_TRACE(c.name);
        const fs::path in = Source(c.tag, {});
        TCutJob job{in, dir / "cut.mp3", 1000, 5000, true, true};
        const TJobOutcome o = RunCut(job);
        ASSERT_EQ(o.Status, TJobStatus::Done);
        EXPECT_EQ(o.TagNote, "");
        const TReadBack r = ReadBack(job.Output);
        EXPECT_EQ(r.texts.at("TIT2"), "Source title");
        EXPECT_EQ(r.texts.at("TPE1"), "Synthetic Artist 歌手");
        EXPECT_EQ(r.texts.at("COMM"), "A comment 注释");
        EXPECT_EQ(r.texts.at("TXXX"), "[CATALOG] XYZ-1");
        EXPECT_EQ(r.pictures, Pictures()) << "the pictures, byte for byte";
        EXPECT_EQ(GB18030ToUtf8(Id3v1Of(job.Output)->Artist), "Synthetic Artist 歌手");
    }
    const fs::path in = Source(pastTheTag, Id3v1Tag("Kept", 1));
    TCutJob job{in, dir / "cut.mp3", 1000, 5000, true, true};
    const TJobOutcome o = RunCut(job);
    ASSERT_EQ(o.Status, TJobStatus::Done);
    EXPECT_EQ(o.TagNote,
              "damaged ID3v2 tag left out: its extended header runs past the end of the tag");
    EXPECT_EQ(ReadBack(job.Output).texts.at("TIT2"), "Kept") << "made from the ID3v1 tag";
}

// The source's track number goes along with a cut in both tags, from either one.
TEST_F(OutputTags, ACutKeepsTheSourcesTrackNumber)
{
    Bytes v11 = Id3v1Tag("Eleven", 1);
    v11[125] = 0;
    v11[126] = 7; // ID3v1.1: the comment's last byte is the track
    struct Case
    {
        const char *name;
        Bytes front;
        Bytes back;
        std::string trck;
    };
    for (const Case &c :
         {Case{"ID3v1.1 only", {}, v11, "7"},
          Case{"both tags", Id3v2TextTag({{"TIT2", "T"}, {"TRCK", "7/12"}}), v11, "7/12"},
          Case{"TRCK only", Id3v2TextTag({{"TIT2", "T"}, {"TRCK", "7/12"}}), {}, "7/12"}}) {
        SCOPED_TRACE(c.name);
        TCutJob job{Source(c.front, c.back), dir / "cut.mp3", 0, 3000, true, true};
        ASSERT_EQ(RunCut(job).Status, TJobStatus::Done);
        EXPECT_EQ(ReadBack(job.Output).texts.at("TRCK"), c.trck);
        EXPECT_EQ(Id3v1Of(job.Output)->Track, 7);
    }
}

TEST(SourceTags, TextsComeFromId3v2FirstAndPicturesAreListed)
{
    TTempDir dir;
    Bytes file = SourceId3v2();
    AppendFrames(file, THeaderSpec{}, 20);
    Append(file, Id3v1Tag("v1 title", 1));
    WriteFile(dir / "in.mp3", file);
    TFileStream s(dir / "in.mp3", fmOpenRead);
    const TSourceTags tags = ReadSourceTags(s, int64_t(SourceId3v2().size()));
    ASSERT_TRUE(SourceTexts(tags));
    EXPECT_EQ(SourceTexts(tags)->Album, "Album 专辑");
    EXPECT_EQ(SourceTexts(tags)->GenreID, 52);
    EXPECT_EQ(tags.Id3v1->Title, "v1 title");
    ASSERT_EQ(tags.Pictures.size(), 3u);
    // Pictures of 305 KB in all are held with the frames: the parts of a split do not read
    // them again each.
    size_t n = 0;
    const TPictures pictures = Pictures();
    for (const TTagFrame &f : tags.Frames) {
        EXPECT_EQ(f.PictureBytes, 0) << f.Id;
        if (f.Id == "APIC") {
            const Bytes &picture = pictures[n++].second;
            ASSERT_GE(f.Bytes.size(), picture.size());
            EXPECT_TRUE(
                std::equal(picture.begin(), picture.end(), f.Bytes.end() - long(picture.size())));
        }
    }
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(tags.Pictures[0].Type, 3);
    EXPECT_EQ(tags.Pictures[0].MimeType, "image/jpeg");
    EXPECT_EQ(tags.Pictures[0].Bytes, 300u * 1024u);
    EXPECT_EQ(tags.Pictures[2].Type, 4);
}

// Beyond HeldPictureBytes in all, a picture stays in the source and each output copies it from
// there: memory holds no copy of it once the tag is read.
TEST(SourceTags, ALargePictureStaysInTheSource)
{
    TTempDir dir;
    ID3v2::Tag tag;
    const Bytes small(1000, 0x5A);
    Bytes large(HeldPictureBytes, 0);
    for (size_t i = 0; i < large.size(); ++i) {
        large[i] = uint8_t(i * 13 + i / 509);
    }
    for (const Bytes *bytes : {&small, static_cast<const Bytes *>(&large)}) {
        auto *picture = new ID3v2::AttachedPictureFrame;
        picture->setMimeType("image/png");
        picture->setDescription(bytes == &small ? "small" : "large");
        picture->setPicture(
            ByteVector(reinterpret_cast<const char *>(bytes->data()), unsigned(bytes->size())));
        tag.addFrame(picture);
    }
    const ByteVector rendered = tag.render(ID3v2::v4);
    Bytes file(rendered.begin(), rendered.end());
    AppendFrames(file, THeaderSpec{}, 80);
    WriteFile(dir / "in.mp3", file);
    TFileStream s(dir / "in.mp3", fmOpenRead);
    const TSourceTags tags = ReadSourceTags(s, int64_t(rendered.size()));
    std::vector<int64_t> referenced;
    for (const TTagFrame &f : tags.Frames) {
        if (f.PictureBytes > 0) {
            referenced.push_back(f.PictureBytes);
            EXPECT_TRUE(std::equal(large.begin(), large.end(), file.begin() + f.PictureAt));
        }
    }
    EXPECT_EQ(referenced, std::vector<int64_t>{int64_t(large.size())})
        << "the small one is held, the large one left where it is";
    TCutJob job{dir / "in.mp3", dir / "cut.mp3", 0, 1000, true, true};
    ASSERT_EQ(RunCut(job).Status, TJobStatus::Done);
    const TPictures out = ReadBack(job.Output).pictures;
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].second, large) << "copied from the source, byte for byte";
}

} // namespace

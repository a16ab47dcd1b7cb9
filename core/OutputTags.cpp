#include "OutputTags.h"

#include "MP3TAG.h"
#include "TextCodec.h"

#include <attachedpictureframe.h>
#include <commentsframe.h>
#include <generalencapsulatedobjectframe.h>
#include <id3v2framefactory.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <synchronizedlyricsframe.h>
#include <tbytevectorstream.h>
#include <textidentificationframe.h>
#include <unsynchronizedlyricsframe.h>
#include <urllinkframe.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

int64_t SyncSafe(const uint8_t *b)
{
    return (int64_t(b[0]) << 21) | (int64_t(b[1]) << 14) | (int64_t(b[2]) << 7) | int64_t(b[3]);
}

int64_t BigEndian(const uint8_t *b, int n)
{
    int64_t v = 0;
    for (int i = 0; i < n; ++i) {
        v = (v << 8) | b[i];
    }
    return v;
}

// Why the frames of a tag do not lie inside it, walking their headers up to the padding; empty
// when they do. A tag unsynchronised as a whole (2.3) counts its sizes over other bytes than it
// stores and is left to TagLib.
std::string FramesFault(const std::vector<uint8_t> &tag)
{
    const uint8_t *b = tag.data();
    const int version = b[3];
    const uint8_t flags = b[5];
    const int64_t end = 10 + SyncSafe(b + 6);
    if (version < 4 && (flags & 0x80) != 0) {
        return {};
    }
    int64_t pos = 10;
    if (version >= 3 && (flags & 0x40) != 0 && pos + 4 <= end) { // an extended header
        pos += version == 3 ? 4 + BigEndian(b + pos, 4) : SyncSafe(b + pos);
    }
    const int idLength = version == 2 ? 3 : 4;
    const int headerLength = version == 2 ? 6 : 10;
    while (pos + headerLength <= end && b[pos] != 0) {
        for (int i = 0; i < idLength; ++i) {
            const uint8_t c = b[pos + i];
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
                return "a frame has no valid name";
            }
        }
        int64_t size = version == 2 ? BigEndian(b + pos + 3, 3) : BigEndian(b + pos + 4, 4);
        if (version == 4 && (b[pos + 4] | b[pos + 5] | b[pos + 6] | b[pos + 7]) < 0x80) {
            size = SyncSafe(b + pos + 4);
        }
        if (size > end - pos - headerLength) {
            return "a frame runs past the end of the tag";
        }
        pos += headerLength + size;
    }
    return {};
}

std::string Utf8Of(const TagLib::String &s)
{
    return s.to8Bit(true);
}

TagLib::String StringOf(const std::string &gb18030)
{
    return TagLib::String(GB18030ToUtf8(gb18030), TagLib::String::UTF8);
}

// A parsed ID3v2 tag, with the file object that owns it.
struct TParsedTag
{
    TagLib::ByteVector Bytes;
    std::unique_ptr<TagLib::ByteVectorStream> Stream;
    std::unique_ptr<TagLib::MPEG::File> File;
    TagLib::ID3v2::Tag *Tag = nullptr;
    TagLib::ID3v2::Tag Empty;

    explicit TParsedTag(const std::vector<uint8_t> &bytes)
    {
        if (!bytes.empty()) {
            Bytes = TagLib::ByteVector(reinterpret_cast<const char *>(bytes.data()),
                                       static_cast<unsigned>(bytes.size()));
            Stream = std::make_unique<TagLib::ByteVectorStream>(Bytes);
            File = std::make_unique<TagLib::MPEG::File>(
                Stream.get(), TagLib::ID3v2::FrameFactory::instance(), false);
            Tag = File->ID3v2Tag(false);
        }
        if (Tag == nullptr) {
            Tag = &Empty;
        }
    }
};

std::string FrameText(TagLib::ID3v2::Tag &tag, const char *id)
{
    const TagLib::ID3v2::FrameList &frames = tag.frameList(id);
    return frames.isEmpty() ? std::string() : Utf8Of(frames.front()->toString());
}

// Every text a frame holds in UTF-8, as the tag is rendered.
void ToUtf8(TagLib::ID3v2::Frame *frame)
{
    using namespace TagLib::ID3v2;
    constexpr auto Utf8 = TagLib::String::UTF8;
    if (auto *f = dynamic_cast<TextIdentificationFrame *>(frame)) {
        f->setTextEncoding(Utf8);
    } else if (auto *f = dynamic_cast<CommentsFrame *>(frame)) {
        f->setTextEncoding(Utf8);
    } else if (auto *f = dynamic_cast<AttachedPictureFrame *>(frame)) {
        f->setTextEncoding(Utf8);
    } else if (auto *f = dynamic_cast<UnsynchronizedLyricsFrame *>(frame)) {
        f->setTextEncoding(Utf8);
    } else if (auto *f = dynamic_cast<SynchronizedLyricsFrame *>(frame)) {
        f->setTextEncoding(Utf8);
    } else if (auto *f = dynamic_cast<UserUrlLinkFrame *>(frame)) {
        f->setTextEncoding(Utf8);
    } else if (auto *f = dynamic_cast<GeneralEncapsulatedObjectFrame *>(frame)) {
        f->setTextEncoding(Utf8);
    }
}

void SetText(TagLib::ID3v2::Tag &tag, const char *id, const std::string &utf8)
{
    tag.removeFrames(id);
    auto *frame = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::UTF8);
    frame->setText(TagLib::String(utf8, TagLib::String::UTF8));
    tag.addFrame(frame);
}

void SetComment(TagLib::ID3v2::Tag &tag, const std::string &gb18030)
{
    // The comment without a description is the one players show; others stay.
    for (TagLib::ID3v2::Frame *f : TagLib::ID3v2::FrameList(tag.frameList("COMM"))) {
        auto *c = dynamic_cast<TagLib::ID3v2::CommentsFrame *>(f);
        if (c != nullptr && c->description().isEmpty()) {
            tag.removeFrame(f);
        }
    }
    auto *frame = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
    frame->setLanguage("eng");
    frame->setText(StringOf(gb18030));
    tag.addFrame(frame);
}

// The texts that are not empty, over what the tag holds.
void SetTexts(TagLib::ID3v2::Tag &tag, const TPartTag &texts)
{
    for (const auto &[id, text] : {std::pair{"TIT2", texts.Title}, {"TPE1", texts.Artist},
                                   {"TALB", texts.Album}, {"TDRC", texts.Year}}) {
        if (!text.empty()) {
            SetText(tag, id, GB18030ToUtf8(text));
        }
    }
    if (!texts.Comment.empty()) {
        SetComment(tag, texts.Comment);
    }
    if (texts.GenreID < GenreNames.size()) {
        SetText(tag, "TCON", std::string(GenreNames[texts.GenreID]));
    }
}

} // namespace

TSourceTags ReadSourceTags(TFileStream &source, int64_t audioStart)
{
    TSourceTags tags;
    const int64_t size = source.Size();
    uint8_t h[10] = {};
    if (size >= 10) {
        source.ReadBufferAt(0, h, 10);
    }
    if (std::memcmp(h, "ID3", 3) == 0) {
        const bool valid = h[3] >= 2 && h[3] <= 4 && h[4] != 0xFF && (h[6] | h[7] | h[8] | h[9]) < 0x80;
        const int64_t end = valid ? 10 + SyncSafe(h + 6) + ((h[5] & 0x10) != 0 ? 10 : 0) : 0;
        std::string fault;
        if (!valid) {
            fault = "its header is not valid";
        } else if (end > std::min(size, audioStart)) {
            fault = "its size runs past the start of the audio";
        } else {
            tags.Id3v2.resize(size_t(end));
            source.ReadBufferAt(0, tags.Id3v2.data(), end);
            fault = FramesFault(tags.Id3v2);
        }
        TParsedTag parsed(fault.empty() ? tags.Id3v2 : std::vector<uint8_t>());
        if (fault.empty() && parsed.Tag == &parsed.Empty) {
            fault = "TagLib cannot read it";
        }
        if (!fault.empty()) {
            tags.Id3v2.clear();
            tags.Note = "damaged ID3v2 tag left out: " + fault;
        } else {
            TagLib::ID3v2::Tag &t = *parsed.Tag;
            TPartTag texts;
            texts.Title = Utf8ToGB18030(Utf8Of(t.title()));
            texts.Artist = Utf8ToGB18030(Utf8Of(t.artist()));
            texts.Album = Utf8ToGB18030(Utf8Of(t.album()));
            texts.Year = Utf8ToGB18030(FrameText(t, "TDRC"));
            texts.Comment = Utf8ToGB18030(Utf8Of(t.comment()));
            texts.GenreID = GenreByName(Utf8Of(t.genre())).value_or(255);
            tags.Id3v2Texts = texts;
            for (TagLib::ID3v2::Frame *f : t.frameList("APIC")) {
                if (auto *p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(f)) {
                    tags.Pictures.push_back({int(p->type()), Utf8Of(p->mimeType()),
                                             size_t(p->picture().size())});
                }
            }
        }
    }
    TID3Tag v1;
    if (size - 128 >= audioStart && v1.ReadTag(source)) {
        tags.Id3v1 = TPartTag{v1.Title, v1.Artist, v1.Album, v1.Year, v1.Comment, v1.GenreID};
    }
    return tags;
}

std::optional<TPartTag> SourceTexts(const TSourceTags &tags)
{
    return tags.Id3v2Texts ? tags.Id3v2Texts : tags.Id3v1;
}

TOutputTags RenderTags(const TSourceTags &source, const TPartTag &texts, TTagFrames frames,
                       int track, int tracks)
{
    TOutputTags out;
    const bool all = frames == TTagFrames::All;
    const bool anyText = texts != TPartTag{};
    if (frames == TTagFrames::None || (all && source.Id3v2.empty() && !source.Id3v1 && !anyText)) {
        return out; // nothing to carry
    }

    TParsedTag parsed(all ? source.Id3v2 : std::vector<uint8_t>());
    TagLib::ID3v2::Tag &tag = *parsed.Tag;
    // What describes the source's audio as a whole is not true of a stretch of it: its length,
    // its seek tables and its replay gain.
    for (const char *id : {"TLEN", "MLLT", "ASPI", "SEEK", "RVA2"}) {
        tag.removeFrames(id);
    }
    for (TagLib::ID3v2::Frame *f : TagLib::ID3v2::FrameList(tag.frameList("TXXX"))) {
        auto *t = dynamic_cast<TagLib::ID3v2::UserTextIdentificationFrame *>(f);
        if (t != nullptr && t->description().upper().startsWith("REPLAYGAIN_")) {
            tag.removeFrame(t);
        }
    }
    if (!all) {
        // The source's pictures, and nothing else of its tag.
        TParsedTag from(source.Id3v2);
        for (TagLib::ID3v2::Frame *f : from.Tag->frameList("APIC")) {
            auto *p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(f);
            if (p != nullptr) {
                auto *copy = new TagLib::ID3v2::AttachedPictureFrame;
                copy->setMimeType(p->mimeType());
                copy->setType(p->type());
                copy->setDescription(p->description());
                copy->setPicture(p->picture());
                tag.addFrame(copy);
            }
        }
    }
    // In All, a source with only an ID3v1 tag gives its texts to the ID3v2 tag as well.
    if (all && source.Id3v2.empty() && source.Id3v1) {
        SetTexts(tag, *source.Id3v1);
    }
    SetTexts(tag, texts);
    if (track > 0) {
        SetText(tag, "TRCK", std::to_string(track) + "/" + std::to_string(tracks));
    }
    for (TagLib::ID3v2::Frame *f : tag.frameList()) {
        ToUtf8(f);
    }
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v4);
    out.Front.assign(bytes.begin(), bytes.end());

    // The ID3v1 tag: the source's, or one made from the ID3v2 texts, with the given texts over
    // it; cut to its fields at a character boundary.
    TPartTag base;
    if (all) {
        base = source.Id3v1 ? *source.Id3v1 : source.Id3v2Texts.value_or(TPartTag{});
    }
    TID3Tag id3v1;
    const auto pick = [](const std::string &given, const std::string &kept) {
        return given.empty() ? kept : given;
    };
    id3v1.Title = pick(texts.Title, base.Title);
    id3v1.Artist = pick(texts.Artist, base.Artist);
    id3v1.Album = pick(texts.Album, base.Album);
    id3v1.Year = pick(texts.Year, base.Year);
    id3v1.Comment = pick(texts.Comment, base.Comment);
    id3v1.GenreID = texts.GenreID != 255 ? texts.GenreID : base.GenreID;
    id3v1.Track = track > 0 && track <= 255 ? uint8_t(track) : 0;
    out.Back = id3v1.Render();
    return out;
}

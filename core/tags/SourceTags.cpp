// Reading the source's tags: its ID3v2 tag through TagLib, its ID3v1 tag.
#include "tags/OutputTags.h"

#include "tags/MP3TAG.h"
#include "tags/SyncSafe.h"
#include "tags/TextCodec.h"

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
#include <optional>

namespace mp3core {

namespace {

// An ID3v2.3 tag as TagLib reads it whole: undone where it is unsynchronised as a whole (every
// 0xFF 0x00 stored for 0xFF), and without its extended header, whose size TagLib counts as
// ID3v2.4 does (itself included) and so reads every frame four bytes off. Empty when the
// extended header runs past the tag.
TagLib::ByteVector Id3v23Readable(const TagLib::ByteVector &tag)
{
    const auto *b = reinterpret_cast<const uint8_t *>(tag.data());
    const uint8_t flags = b[5];
    if (b[3] != 3 || (flags & 0xC0) == 0) {
        return tag;
    }
    const int64_t end = std::min<int64_t>(tag.size(), 10 + SyncSafe(b + 6));
    std::vector<uint8_t> body;
    body.reserve(size_t(end - 10));
    for (int64_t i = 10; i < end; ++i) {
        body.push_back(b[i]);
        if ((flags & 0x80) != 0 && b[i] == 0xFF && i + 1 < end && b[i + 1] == 0) {
            ++i;
        }
    }
    size_t skip = 0;
    if ((flags & 0x40) != 0) {
        // The extended header's size counts the bytes after its own four.
        skip = body.size() < 4 ? body.size() + 1 : 4 + size_t(BigEndian(body.data(), 4));
        if (skip > body.size()) {
            return {};
        }
    }
    TagLib::ByteVector readable(tag.data(), 10);
    readable[5] = char(flags & 0x3F);
    readable.append(TagLib::ByteVector(reinterpret_cast<const char *>(body.data()) + skip,
                                       unsigned(body.size() - skip)));
    PutSyncSafe(reinterpret_cast<uint8_t *>(readable.data()) + 6, readable.size() - 10);
    return readable;
}

// Why the frames of a tag do not lie inside it, walking their headers up to the padding; empty
// when they do. frames: how many the walk passed.
std::string FramesFault(const TagLib::ByteVector &tag, int &frames)
{
    frames = 0;
    const auto *b = reinterpret_cast<const uint8_t *>(tag.data());
    const int version = b[3];
    const uint8_t flags = b[5];
    const int64_t end = 10 + SyncSafe(b + 6);
    if (version < 3 && (flags & 0x80) != 0) {
        return {}; // unsynchronised as a whole: its sizes count other bytes; left to TagLib
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
        ++frames;
    }
    return {};
}

std::string Utf8Of(const TagLib::String &s)
{
    return s.to8Bit(true);
}

// A tag parsed from its bytes, with the file object that owns it; null when TagLib finds none.
struct TParsedTag
{
    TagLib::ByteVector Bytes;
    TagLib::ByteVectorStream Stream;
    TagLib::MPEG::File File;
    TagLib::ID3v2::Tag *Tag;

    explicit TParsedTag(const TagLib::ByteVector &bytes)
        : Bytes(bytes), Stream(Bytes),
          File(&Stream, TagLib::ID3v2::FrameFactory::instance(), false), Tag(File.ID3v2Tag(false))
    {
    }
};

std::string FrameText(TagLib::ID3v2::Tag &tag, const char *id)
{
    const TagLib::ID3v2::FrameList &frames = tag.frameList(id);
    return frames.isEmpty() ? std::string() : Utf8Of(frames.front()->toString());
}

// The frame's text encoding set to UTF-8 when it is one of the kinds given.
template <typename... TKinds> void SetUtf8(TagLib::ID3v2::Frame *frame)
{
    const auto set = [&](auto *f) {
        if (f != nullptr) {
            f->setTextEncoding(TagLib::String::UTF8);
        }
        return f != nullptr;
    };
    (set(dynamic_cast<TKinds *>(frame)) || ...);
}

// Every text a frame holds in UTF-8, as the tag is rendered.
void ToUtf8(TagLib::ID3v2::Frame *frame)
{
    using namespace TagLib::ID3v2;
    SetUtf8<TextIdentificationFrame, CommentsFrame, AttachedPictureFrame, UnsynchronizedLyricsFrame,
            SynchronizedLyricsFrame, UserUrlLinkFrame, GeneralEncapsulatedObjectFrame>(frame);
}

// The frames of a tag as TagLib renders it in ID3v2.4, up to its padding.
std::vector<TTagFrame> SplitFrames(const TagLib::ByteVector &tag)
{
    std::vector<TTagFrame> frames;
    const auto *b = reinterpret_cast<const uint8_t *>(tag.data());
    const int64_t end = std::min<int64_t>(tag.size(), 10 + SyncSafe(b + 6));
    int64_t pos = 10;
    while (pos + 10 <= end && b[pos] != 0) {
        const int64_t next = std::min(end, pos + 10 + SyncSafe(b + pos + 4));
        TTagFrame f{std::string(b + pos, b + pos + 4), false,
                    std::vector<uint8_t>(b + pos, b + next)};
        // A comment: encoding, language, then its description; an empty one ends at once.
        f.PlainComment = f.Id == "COMM" && pos + 14 < next && b[pos + 14] == 0;
        frames.push_back(std::move(f));
        pos = next;
    }
    return frames;
}

// The frames of a tag in ID3v2.4. TagLib copies a frame's data several times over as it renders
// a tag, and a cover is most of a tag: with one of 300 KB, rendering took three quarters of
// the time of reading the tag. So the pictures are taken out of their frames for the rendering
// and put back after it, at the end of their frames where they lie, the frames' sizes grown by
// theirs.
//
// A picture that TagLib reads straight from the tag's bytes as they lie in the source (source:
// those bytes, or null) stays there: its frame notes where, and the outputs copy it from there.
std::vector<TTagFrame> RenderedFrames(TagLib::ID3v2::Tag &tag, const TagLib::ByteVector *source)
{
    struct TAside
    {
        TagLib::ID3v2::AttachedPictureFrame *Frame;
        TagLib::ByteVector Picture;
    };
    std::vector<TAside> aside;
    for (TagLib::ID3v2::Frame *f : tag.frameList()) {
        if (auto *p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(f)) {
            aside.push_back({p, p->picture()});
            p->setPicture(TagLib::ByteVector());
        }
    }
    std::vector<TTagFrame> frames = SplitFrames(tag.render(TagLib::ID3v2::v4));
    // Rendering the tag gave each frame the ID3v2.4 header, so a picture's frame now renders
    // alone as it did in the tag. The frames keep their order; one TagLib left out of the tag
    // is passed over, and a picture frame it could not read keeps its bytes.
    auto next = aside.begin();
    size_t held = 0; // the pictures' bytes kept with the frames
    for (TTagFrame &f : frames) {
        if (f.Id != "APIC") {
            continue;
        }
        const auto own = std::find_if(next, aside.end(), [&](const TAside &a) {
            const TagLib::ByteVector alone = a.Frame->render();
            return f.Bytes.size() == alone.size() &&
                   std::memcmp(f.Bytes.data(), alone.data(), alone.size()) == 0;
        });
        if (own != aside.end()) {
            // Read-only access: TagLib shares a slice of the bytes it parsed, not a copy.
            const TagLib::ByteVector &picture = own->Picture;
            const char *at = picture.data();
            const char *base = source != nullptr ? source->data() : nullptr;
            // Up to HeldPictureBytes in all, the pictures go with the frames, so that the
            // parts of a split do not read them again each; the rest stays in the source.
            const bool hold = held + picture.size() <= HeldPictureBytes;
            held += hold ? picture.size() : 0;
            if (!hold && base != nullptr && !picture.isEmpty() && at >= base &&
                at + picture.size() <= base + source->size()) {
                f.PictureAt = at - base;
                f.PictureBytes = picture.size();
            } else {
                f.Bytes.insert(f.Bytes.end(), picture.begin(), picture.end());
            }
            PutSyncSafe(f.Bytes.data() + 4, f.Bytes.size() + size_t(f.PictureBytes) - 10);
            next = own + 1;
        }
    }
    return frames;
}

bool DescribesTheWholeAudio(TagLib::ID3v2::Frame *frame)
{
    const TagLib::ByteVector id = frame->frameID();
    if (id == "TLEN" || id == "MLLT" || id == "ASPI" || id == "SEEK" || id == "RVA2" ||
        id == "CHAP" || id == "CTOC") {
        return true;
    }
    auto *t = dynamic_cast<TagLib::ID3v2::UserTextIdentificationFrame *>(frame);
    return t != nullptr && t->description().upper().startsWith("REPLAYGAIN_");
}

// The bytes of the leading ID3v2 tag whose header is h, as TagLib can read them (an ID3v2.3
// extended header undone), or why not (fault); verbatim: as the file holds them.
TagLib::ByteVector Id3v2Bytes(TFileStream &source, const uint8_t *h, int64_t audioStart,
                              bool &verbatim, std::string &fault)
{
    TagLib::ByteVector bytes;
    const bool valid = h[3] >= 2 && h[3] <= 4 && h[4] != 0xFF && (h[6] | h[7] | h[8] | h[9]) < 0x80;
    const int64_t end = valid ? 10 + SyncSafe(h + 6) + ((h[5] & 0x10) != 0 ? 10 : 0) : 0;
    if (!valid) {
        fault = "its header is not valid";
    } else if (end > std::min(source.Size(), audioStart)) {
        fault = "its size runs past the start of the audio";
    } else {
        bytes.resize(unsigned(end));
        source.ReadBufferAt(0, reinterpret_cast<uint8_t *>(bytes.data()), end);
        const TagLib::ByteVector &read = bytes;
        const char *asRead = read.data();
        bytes = Id3v23Readable(bytes);
        // The tag's bytes as the file holds them (not undone, nor without a header).
        verbatim = static_cast<const TagLib::ByteVector &>(bytes).data() == asRead;
        fault = bytes.isEmpty() ? "its extended header runs past the end of the tag" : "";
    }
    return bytes;
}

// What a tag TagLib read holds: its texts, pictures, track and frames (but those that
// describe the whole audio), into tags.
void TakeId3v2(TagLib::ID3v2::Tag &t, const TagLib::ByteVector *verbatim, TSourceTags &tags,
               int &track)
{
    tags.HasId3v2 = true;
    TPartTag texts;
    texts.Title = Utf8Of(t.title());
    texts.Artist = Utf8Of(t.artist());
    texts.Album = Utf8Of(t.album());
    texts.Year = FrameText(t, "TDRC");
    texts.Comment = Utf8Of(t.comment());
    texts.GenreID = GenreByName(Utf8Of(t.genre())).value_or(255);
    tags.Id3v2Texts = texts;
    track = int(t.track()); // TRCK's number, "3/12" giving 3
    tags.Chapters = ChaptersOf(t);
    for (TagLib::ID3v2::Frame *f : TagLib::ID3v2::FrameList(t.frameList())) {
        if (auto *p = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(f)) {
            tags.Pictures.push_back(
                {int(p->type()), Utf8Of(p->mimeType()), size_t(p->picture().size())});
        }
        if (DescribesTheWholeAudio(f)) {
            t.removeFrame(f);
        } else {
            ToUtf8(f);
        }
    }
    tags.Frames = RenderedFrames(t, verbatim);
}

} // namespace

TSourceTags ReadSourceTags(TFileStream &source, int64_t audioStart)
{
    TSourceTags tags;
    int parsedTrack = 0;
    const int64_t size = source.Size();
    uint8_t h[10] = {};
    if (size >= 10) {
        source.ReadBufferAt(0, h, 10);
    }
    if (std::memcmp(h, "ID3", 3) == 0) {
        bool verbatim = false;
        std::string fault;
        const TagLib::ByteVector bytes = Id3v2Bytes(source, h, audioStart, verbatim, fault);
        int frames = 0;
        if (fault.empty()) {
            fault = FramesFault(bytes, frames);
        }
        std::optional<TParsedTag> parsed;
        if (fault.empty()) {
            parsed.emplace(bytes);
            if (parsed->Tag == nullptr) {
                fault = "TagLib cannot read it";
            } else if (frames > 0 && parsed->Tag->frameList().isEmpty()) {
                // Never an empty tag in place of one whose frames could not be read.
                fault = "TagLib reads none of its " + std::to_string(frames) + " frames";
            }
        }
        if (!fault.empty()) {
            tags.Note = "damaged ID3v2 tag left out: " + fault;
        } else {
            TakeId3v2(*parsed->Tag, verbatim ? &bytes : nullptr, tags, parsedTrack);
        }
    }
    TID3Tag v1;
    if (size - 128 >= audioStart && v1.ReadTag(source)) {
        tags.Id3v1Bytes =
            TPartTag{v1.Title, v1.Artist, v1.Album, v1.Year, v1.Comment, v1.GenreID, {}};
        tags.Id3v1 = InUtf8(*tags.Id3v1Bytes);
        tags.Track = v1.Track;
    }
    if (tags.Track == 0 && parsedTrack > 0 && parsedTrack <= 255) {
        tags.Track = uint8_t(parsedTrack);
    }
    return tags;
}

static TPartTag Converted(TPartTag t, std::string (*convert)(const std::string &))
{
    for (std::string *text : {&t.Title, &t.Artist, &t.Album, &t.Year, &t.Comment}) {
        *text = convert(*text);
    }
    return t;
}

TPartTag InUtf8(const TPartTag &codePage)
{
    return Converted(codePage, GB18030ToUtf8);
}
TPartTag InCodePage(const TPartTag &utf8)
{
    return Converted(utf8, Utf8ToGB18030);
}

std::optional<TPartTag> SourceTexts(const TSourceTags &tags)
{
    return tags.Id3v2Texts ? tags.Id3v2Texts : tags.Id3v1;
}

} // namespace mp3core

#include "tags/OutputTags.h"

#include "tags/MP3TAG.h"
#include "tags/SyncSafe.h"
#include "tags/TextCodec.h"

#include <commentsframe.h>
#include <id3v2frame.h>
#include <textidentificationframe.h>

#include <cstdio>

#include <algorithm>

namespace mp3core {

namespace {

// Room left in every tag, as TagLib leaves it, so that a tag editor can grow the tag in place.
constexpr size_t TagPadding = 1024;

// A new frame's bytes as an ID3v2.4 tag holds it (new frames are of that version).
std::vector<uint8_t> FrameBytes(TagLib::ID3v2::Frame &frame)
{
    const TagLib::ByteVector bytes = frame.render();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> TextFrame(const char *id, const std::string &utf8)
{
    TagLib::ID3v2::TextIdentificationFrame frame(id, TagLib::String::UTF8);
    frame.setText(TagLib::String(utf8, TagLib::String::UTF8));
    return FrameBytes(frame);
}

std::vector<uint8_t> CommentFrame(const std::string &utf8)
{
    TagLib::ID3v2::CommentsFrame frame(TagLib::String::UTF8);
    frame.setLanguage("eng");
    frame.setText(TagLib::String(utf8, TagLib::String::UTF8));
    return FrameBytes(frame);
}

// The frames of the texts that are not empty.
std::vector<TTagFrame> TextFrames(const TPartTag &texts)
{
    std::vector<TTagFrame> frames;
    for (const auto &[id, text] : {std::pair{"TIT2", texts.Title},
                                   {"TPE1", texts.Artist},
                                   {"TALB", texts.Album},
                                   {"TDRC", texts.Year},
                                   {"TPE2", texts.AlbumArtist}}) {
        if (!text.empty()) {
            frames.push_back({id, false, TextFrame(id, text)});
        }
    }
    if (texts.GenreID < GenreNames.size()) {
        frames.push_back(
            {"TCON", false, TextFrame("TCON", std::string(GenreNames[texts.GenreID]))});
    }
    if (!texts.Comment.empty()) {
        frames.push_back({"COMM", true, CommentFrame(texts.Comment)});
    }
    return frames;
}

} // namespace

namespace {

// The ID3v2 tag of an output (see RenderTags): the texts given, then (in All) those of a source
// that has only an ID3v1 tag, then the source's frames that neither replaces, all but its
// pictures in TextsAndPictures.
void RenderId3v2(const TSourceTags &source, const TPartTag &texts, bool all, int track, int tracks,
                 const std::vector<TChapter> &chapters,
                 const std::optional<TReplayGain> &replayGain, TOutputTags &out)
{
    std::vector<TTagFrame> tag = TextFrames(texts);
    for (std::vector<uint8_t> &frame : ChapterFrames(chapters)) {
        const std::string id(frame.begin(), frame.begin() + 4);
        tag.push_back({id, false, std::move(frame)});
    }
    const auto taken = [&](const TTagFrame &f) {
        return std::any_of(tag.begin(), tag.end(), [&](const TTagFrame &t) {
            return t.Id == f.Id && (f.Id != "COMM" || (t.PlainComment && f.PlainComment));
        });
    };
    if (all && !source.HasId3v2 && source.Id3v1) {
        for (TTagFrame &f : TextFrames(*source.Id3v1)) {
            if (!taken(f)) {
                tag.push_back(std::move(f));
            }
        }
    }
    if (track > 0) {
        tag.push_back({"TRCK", false,
                       TextFrame("TRCK", std::to_string(track) + "/" + std::to_string(tracks))});
    } else if (all && !source.HasId3v2 && source.Track > 0) {
        tag.push_back({"TRCK", false, TextFrame("TRCK", std::to_string(source.Track))});
    }
    size_t size = TagPadding;
    for (const TTagFrame &f : tag) {
        size += f.Bytes.size();
    }
    std::vector<const TTagFrame *> kept;
    size_t fromSource = 0;
    for (const TTagFrame &f : source.Frames) {
        if ((all || f.Id == "APIC") && !taken(f) && !(track > 0 && f.Id == "TRCK")) {
            kept.push_back(&f);
            size += f.Bytes.size() + size_t(f.PictureBytes);
            fromSource += size_t(f.PictureBytes);
        }
    }
    const std::vector<uint8_t> gain =
        replayGain ? ReplayGainFrames(*replayGain) : std::vector<uint8_t>{};
    size += gain.size();
    out.Front = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
    PutSyncSafe(out.Front.data() + 6, size);
    out.Front.reserve(10 + size - fromSource);
    for (const TTagFrame &f : tag) {
        out.Front.insert(out.Front.end(), f.Bytes.begin(), f.Bytes.end());
    }
    for (const TTagFrame *f : kept) {
        out.Front.insert(out.Front.end(), f->Bytes.begin(), f->Bytes.end());
        if (f->PictureBytes > 0) {
            out.FromSource.push_back({out.Front.size(), f->PictureAt, f->PictureBytes});
        }
    }
    if (replayGain) {
        out.ReplayGainAt = int64_t(out.Front.size() + fromSource);
        out.ReplayGainBytes = gain.size();
        out.Front.insert(out.Front.end(), gain.begin(), gain.end());
    }
    out.Front.resize(10 + size - fromSource, 0); // the padding
}

// The ID3v1 tag of an output: the source's (in All), or one made from its ID3v2 texts, with
// the given texts over it; cut to its fields at a character boundary.
std::array<uint8_t, 128> RenderId3v1(const TSourceTags &source, const TPartTag &texts, bool all,
                                     int track)
{
    TPartTag base;
    if (all) {
        base = source.Id3v1Bytes ? *source.Id3v1Bytes
                                 : InCodePage(source.Id3v2Texts.value_or(TPartTag{}));
    }
    TID3Tag id3v1;
    const auto pick = [](const std::string &given, const std::string &kept) {
        return given.empty() ? kept : Utf8ToGB18030(given);
    };
    id3v1.Title = pick(texts.Title, base.Title);
    id3v1.Artist = pick(texts.Artist, base.Artist);
    id3v1.Album = pick(texts.Album, base.Album);
    id3v1.Year = pick(texts.Year, base.Year);
    id3v1.Comment = pick(texts.Comment, base.Comment);
    id3v1.GenreID = texts.GenreID != 255 ? texts.GenreID : base.GenreID;
    id3v1.Track = track > 0 && track <= 255 ? uint8_t(track) : track == 0 && all ? source.Track : 0;
    return id3v1.Render();
}

} // namespace

TReplayGain WidestReplayGain(bool album)
{
    TReplayGain widest{-99.99, 99.999999, std::nullopt, std::nullopt};
    if (album) {
        widest.AlbumGainDb = widest.TrackGainDb;
        widest.AlbumPeak = widest.TrackPeak;
    }
    return widest;
}

std::vector<uint8_t> ReplayGainFrames(const TReplayGain &gain, size_t room)
{
    const auto text = [](const char *format, double value) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, format, value);
        return TagLib::String(buffer);
    };
    std::vector<std::pair<const char *, TagLib::String>> values = {
        {"REPLAYGAIN_TRACK_GAIN", text("%.2f dB", std::clamp(gain.TrackGainDb, -99.99, 99.99))},
        {"REPLAYGAIN_TRACK_PEAK", text("%.6f", std::clamp(gain.TrackPeak, 0.0, 99.999999))}};
    if (gain.AlbumGainDb && gain.AlbumPeak) {
        values.push_back({"REPLAYGAIN_ALBUM_GAIN",
                          text("%.2f dB", std::clamp(*gain.AlbumGainDb, -99.99, 99.99))});
        values.push_back(
            {"REPLAYGAIN_ALBUM_PEAK", text("%.6f", std::clamp(*gain.AlbumPeak, 0.0, 99.999999))});
    }
    std::vector<uint8_t> bytes;
    for (const auto &[name, value] : values) {
        TagLib::ID3v2::UserTextIdentificationFrame frame(name, TagLib::StringList(value),
                                                         TagLib::String::Latin1);
        const std::vector<uint8_t> one = FrameBytes(frame);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.resize(std::max(bytes.size(), room), 0);
    return bytes;
}

TOutputTags RenderTags(const TSourceTags &source, const TPartTag &texts, TTagFrames frames,
                       int track, int tracks, const std::vector<TChapter> &chapters,
                       const std::optional<TReplayGain> &replayGain)
{
    TOutputTags out;
    const bool all = frames == TTagFrames::All;
    const bool noTexts = all && !source.HasId3v2 && !source.Id3v1 && texts == TPartTag{};
    if (frames == TTagFrames::None || (noTexts && chapters.empty() && !replayGain)) {
        return out; // nothing to carry
    }
    RenderId3v2(source, texts, all, track, tracks, chapters, replayGain, out);
    if (!noTexts) { // chapters alone need no ID3v1 tag
        out.Back = RenderId3v1(source, texts, all, track);
    }
    return out;
}

void WriteFrontTag(const TOutputTags &tags, TFileStream &source, TFileStream &out)
{
    size_t written = 0;
    for (const TOutputTags::TFromSource &piece : tags.FromSource) {
        out.WriteBuffer(tags.Front.data() + written, int64_t(piece.At - written));
        source.Seek(piece.Start, soBeginning);
        out.CopyFrom(source, piece.Bytes);
        written = piece.At;
    }
    out.WriteBuffer(tags.Front.data() + written, int64_t(tags.Front.size() - written));
}

} // namespace mp3core

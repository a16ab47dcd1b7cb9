#pragma once
// The tags an output carries: an ID3v2.4 tag in UTF-8 in front of its audio, rendered here with
// TagLib from the source's own ID3v2 tag, and an ID3v1 tag after it. The frame code never sees
// either: the output assembly writes the bytes made here.

#include "io/FileStream.h"
#include "tags/Chapters.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mp3core {

// Tag texts in UTF-8, whole: the ID3v2 tag holds them as they are, the ID3v1 tag in its code
// page (GB18030), cut to its fields.
struct TPartTag
{
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    uint8_t GenreID = 255;   // 255: no genre
    std::string AlbumArtist; // the ID3v2 tag's only (TPE2): the ID3v1 tag has no field for it

    bool operator==(const TPartTag &) const = default;
};

struct TPictureInfo
{
    int Type = 0;         // the ID3v2 picture type: 3 front cover, 4 back cover, ...
    std::string MimeType; // "image/jpeg"
    size_t Bytes = 0;     // the picture's own size
};

// One frame of the source's ID3v2 tag, rendered as ID3v2.4 with its texts in UTF-8.
struct TTagFrame
{
    std::string Id;            // "TIT2", "APIC", ...
    bool PlainComment = false; // a comment without a description: the one players show
    std::vector<uint8_t> Bytes;
    // A picture that lies in the source as it is, byte for byte, past the HeldPictureBytes
    // that the frames hold, is not held here: the frame is Bytes and then PictureBytes bytes
    // of the source from PictureAt (its header counts them). So a cover of hundreds of
    // megabytes is in memory only while the tag is read.
    int64_t PictureAt = 0;
    int64_t PictureBytes = 0;
};

// Pictures of up to this many bytes in all are held in memory with the source's frames; the
// rest are read from the source as each output is written, so that memory stays small.
inline constexpr size_t HeldPictureBytes = 4 << 20;

// What the source holds, read once a job.
struct TSourceTags
{
    // The frames of the source's leading ID3v2 tag, but those that describe its audio as a
    // whole (length, seek tables, replay gain): they are not true of a stretch of it.
    std::vector<TTagFrame> Frames;
    bool HasId3v2 = false;
    std::optional<TPartTag> Id3v1;
    // The ID3v1 tag's fields as it holds them (GB18030 bytes), which an output's ID3v1 tag
    // keeps byte for byte where no text is given over them.
    std::optional<TPartTag> Id3v1Bytes;
    std::optional<TPartTag> Id3v2Texts;
    std::vector<TPictureInfo> Pictures;
    // The source's track number: its ID3v1.1 track byte, else TRCK's number; 0 when none.
    uint8_t Track = 0;
    // Its chapters, in order (see ChaptersOf). Frames holds none of its CHAP and CTOC frames:
    // they are true of the whole audio, not of a stretch of it.
    std::vector<TChapter> Chapters;
    // Why a tag of the source was left out ("damaged ID3v2 tag: ..."); empty when none was.
    std::string Note;
};

// Reads the tags of an MP3 file: a leading ID3v2 tag that ends before audioStart, and a trailing
// ID3v1 tag. A damaged ID3v2 tag is left out with a note; it never raises for one.
TSourceTags ReadSourceTags(TFileStream &source, int64_t audioStart);

// The texts of an ID3v1 tag (GB18030) in UTF-8, and back.
TPartTag InUtf8(const TPartTag &codePage);
TPartTag InCodePage(const TPartTag &utf8);

// The texts a listener sees: the ID3v2 tag's when the source has one, else the ID3v1 tag's.
std::optional<TPartTag> SourceTexts(const TSourceTags &tags);

enum class TTagFrames
{
    None,             // no tags
    All,              // the source's tags whole (every ID3v2 frame), the given texts set over them
    TextsAndPictures, // the given texts and the source's pictures only
};

struct TOutputTags
{
    // The ID3v2 tag (empty: none), but for the pictures it takes from the source: each goes
    // in at Front's byte At, Bytes bytes of the source from Start.
    std::vector<uint8_t> Front;
    struct TFromSource
    {
        size_t At = 0;
        int64_t Start = 0;
        int64_t Bytes = 0;
    };
    std::vector<TFromSource> FromSource;
    std::optional<std::array<uint8_t, 128>> Back; // the ID3v1 tag
    // Where the ReplayGain frames lie in the written file (the ID3v2 tag's last frames, before
    // its padding), and the bytes they may take; -1: none.
    int64_t ReplayGainAt = -1;
    size_t ReplayGainBytes = 0;
};

// ReplayGain 2.0 values: a gain to -18 LUFS in dB and a true peak (1.0 full scale), of the
// output and of the album it is a part of.
struct TReplayGain
{
    double TrackGainDb = 0;
    double TrackPeak = 0;
    std::optional<double> AlbumGainDb;
    std::optional<double> AlbumPeak;
};
// The widest values, to keep room for any.
TReplayGain WidestReplayGain(bool album);

// The TXXX frames REPLAYGAIN_TRACK_GAIN, _TRACK_PEAK (and _ALBUM_GAIN, _ALBUM_PEAK), as
// foobar2000 and loudgain write them ("-6.52 dB", "0.988312"), then zeros up to room bytes
// (padding of the tag they end); room 0: as long as the frames are.
std::vector<uint8_t> ReplayGainFrames(const TReplayGain &gain, size_t room = 0);

// Writes the ID3v2 tag: Front with the source's pictures copied in where they belong.
void WriteFrontTag(const TOutputTags &tags, TFileStream &source, TFileStream &out);

// The tags of one output; none in None, and none in All when the source has no tag and no text
// is given. In All, a text left empty keeps the source's (a genre of 255 too);
// in TextsAndPictures the tags hold exactly the texts given. Track n of tracks (1-based) goes
// into TRCK as "n/N" and into the ID3v1.1 track byte; 0 leaves the track as the source has it.
// The chapters given (on the output's own timeline) go in as a table of contents and CHAP
// frames, unless in None.
// replayGain: ReplayGain frames last, with room for any values (see ReplayGainAt).
TOutputTags RenderTags(const TSourceTags &source, const TPartTag &texts, TTagFrames frames,
                       int track = 0, int tracks = 0, const std::vector<TChapter> &chapters = {},
                       const std::optional<TReplayGain> &replayGain = std::nullopt);

} // namespace mp3core

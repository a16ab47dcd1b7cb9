#pragma once
// The ID3v1 tag: the last 128 bytes of an MP3 file. Texts are byte strings in the tags' code
// page (GB18030, a superset of GB2312); converting them for display is the caller's job.

#include "io/FileStream.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mp3core {

class TID3Tag
{
public:
    std::array<uint8_t, 128> RawTag{};
    std::array<uint8_t, 128> TailBlock{};
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    uint8_t GenreID = 0;
    std::string Genre; // the name ReadTag found for GenreID
    uint8_t Track = 0; // ID3v1.1: the track number in the comment's last byte; 0: none

    // True when the stream ends in a tag; then the texts and the genre hold its contents.
    bool ReadTag(TFileStream &stream);
    // Writes the texts and GenreID as the stream's tag, replacing one that is there.
    bool WriteTag(TFileStream &stream);
    // The tag's 128 bytes as WriteTag writes them (RawTag afterwards holds them too).
    const std::array<uint8_t, 128> &Render();
    // Cuts a tag off the end of the stream when there is one.
    bool RemoveTag(TFileStream &stream);

private:
    void PutField(std::string_view text, int offset, int width);
};

// The longest prefix of text, at most width bytes, that ends on a GB18030 character boundary.
std::string_view CutGB18030(std::string_view text, size_t width);

// The genre number of a name of the table, letter case aside.
std::optional<uint8_t> GenreByName(std::string_view name);

// Genre names by genre number, 0 to 114.
inline constexpr std::array<std::string_view, 115> GenreNames{"Blues",
                                                              "Classic Rock",
                                                              "Country",
                                                              "Dance",
                                                              "Disco",
                                                              "Funk",
                                                              "Grunge",
                                                              "Hip-Hop",
                                                              "Jazz",
                                                              "Metal",
                                                              "New Age",
                                                              "Oldies",
                                                              "Other",
                                                              "Pop",
                                                              "R&B",
                                                              "Rap",
                                                              "Reggae",
                                                              "Rock",
                                                              "Techno",
                                                              "Industrial",
                                                              "Alternative",
                                                              "Ska",
                                                              "Death Metal",
                                                              "Pranks",
                                                              "Soundtrack",
                                                              "Euro-Techno",
                                                              "Ambient",
                                                              "Trip-Hop",
                                                              "Vocal",
                                                              "Jazz+Funk",
                                                              "Fusion",
                                                              "Trance",
                                                              "Classical",
                                                              "Instrumental",
                                                              "Acid",
                                                              "House",
                                                              "Game",
                                                              "Sound Clip",
                                                              "Gospel",
                                                              "Noise",
                                                              "AlternRock",
                                                              "Bass",
                                                              "Soul",
                                                              "Punk",
                                                              "Space",
                                                              "Meditative",
                                                              "Instrumental Pop",
                                                              "Instrumental Rock",
                                                              "Ethnic",
                                                              "Gothic",
                                                              "Darkwave",
                                                              "Techno-Industrial",
                                                              "Electronic",
                                                              "Pop-Folk",
                                                              "Eurodance",
                                                              "Dream",
                                                              "Southern Rock",
                                                              "Comedy",
                                                              "Cult",
                                                              "Gangsta",
                                                              "Top 40",
                                                              "Christian Rap",
                                                              "Pop/Funk",
                                                              "Jungle",
                                                              "Native American",
                                                              "Cabaret",
                                                              "New Wave",
                                                              "Psychadelic",
                                                              "Rave",
                                                              "Showtunes",
                                                              "Trailer",
                                                              "Lo-Fi",
                                                              "Tribal",
                                                              "Acid Punk",
                                                              "Acid Jazz",
                                                              "Polka",
                                                              "Retro",
                                                              "Musical",
                                                              "Rock & Roll",
                                                              "Hard Rock",
                                                              "Folk",
                                                              "Folk/Rock",
                                                              "National Folk",
                                                              "Swing",
                                                              "Bebob",
                                                              "Latin",
                                                              "Revival",
                                                              "Celtic",
                                                              "Bluegrass",
                                                              "Avantgarde",
                                                              "Gothic Rock",
                                                              "Progressive Rock",
                                                              "Psychedelic Rock",
                                                              "Symphonic Rock",
                                                              "Slow Rock",
                                                              "Big Band",
                                                              "Chorus",
                                                              "Easy Listening",
                                                              "Acoustic",
                                                              "Humour",
                                                              "Speech",
                                                              "Chanson",
                                                              "Opera",
                                                              "Chamber Music",
                                                              "Sonata",
                                                              "Symphony",
                                                              "Booty Bass",
                                                              "Primus",
                                                              "Porn Groove",
                                                              "Satire",
                                                              "Slow Jam",
                                                              "Club",
                                                              "Tango",
                                                              "Samba",
                                                              "Folklore"};

} // namespace mp3core

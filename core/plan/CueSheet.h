#pragma once
// A CUE sheet: where the tracks of a continuous recording start, with their texts. Each line is
// checked here, so that a fault is told by its line; libcue then reads the sheet.

#include "tags/OutputTags.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mp3core {

struct TCueTrack
{
    int Number = 0;      // as the sheet numbers it
    int64_t StartMs = 0; // its INDEX 01, to the nearest ms (a sheet counts 75 frames a second)
    // Its texts in UTF-8: its title; its performer, else the album's; the album's title and
    // performer (as the album artist); its date, else the album's; the album's genre.
    TPartTag Tag;
};

struct TCueSheet
{
    std::string File; // the audio file the tracks lie in, as the sheet names it (UTF-8)
    std::vector<TCueTrack> Tracks;
    // Said when the sheet names another file than the one it is used for; empty otherwise.
    std::string Note;
};

struct TCueRead
{
    std::optional<TCueSheet> Sheet; // none: the sheet cannot be used
    int Line = 0;                   // the line at fault, from 1; 0: the sheet as a whole
    std::string Reason;
};

// Reads the sheet for the audio file audio. A sheet that names several files gives the tracks
// of the one named as audio is; one that names a single file gives its tracks, whatever its name.
// The text is UTF-8 (a byte order mark is skipped), or GB18030 when it is not valid UTF-8.
TCueRead ReadCueSheet(const std::filesystem::path &cue, const std::filesystem::path &audio);
// The same from the sheet's bytes.
TCueRead ParseCueSheet(const std::string &bytes, const std::filesystem::path &audio);

} // namespace mp3core

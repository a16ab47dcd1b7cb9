#pragma once
// A split's plan in and out as the lists other programs read and write: Audacity's label
// files (a line per label: start, end and text, tab-separated, in seconds) and CUE sheets.

#include "plan/CueSheet.h"
#include "plan/SegmentList.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mp3core {

struct TLabelsRead
{
    std::optional<std::vector<TCueTrack>> Tracks; // none: the file cannot be used
    int Line = 0;                                 // the line at fault, from 1; 0: the file
    std::string Reason;
};

// A label file's labels as tracks: each from its start, with its text as the title. Lines that
// start with a backslash (the frequencies of a spectral label) and empty lines are passed over.
TLabelsRead ReadLabels(const std::filesystem::path &file);
TLabelsRead ParseLabels(const std::string &text);

// The ticked rows as a label file: start, end and title of each, in seconds to the microsecond.
std::string LabelsText(const std::vector<TSegment> &rows);
// The ticked rows as a CUE sheet of the audio file audio (named as it is, without its folder):
// the album's title and performer, then a track each with its title and performer when it has
// them and its INDEX 01 (to the nearest of a sheet's 75 frames a second).
std::string CueText(const std::vector<TSegment> &rows, const std::filesystem::path &audio,
                    const TPartTag &album);

// Writes text to file whole or not at all (see TOutputFile); raises EStreamError.
void WriteListFile(const std::filesystem::path &file, const std::string &text);

} // namespace mp3core

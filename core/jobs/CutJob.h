#pragma once
// Cutting one stretch out of a file: the one way both front ends do it.

#include "format/MPEGAFHdr.h"
#include "jobs/JobOutcome.h"
#include "plan/SegmentList.h"
#include "tags/OutputTags.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace mp3core {

struct TCutJob
{
    std::filesystem::path Input;
    std::filesystem::path Output;
    int64_t StartMs = 0;
    std::optional<int64_t> EndMs;  // none: to the end of the audio
    bool WholeFrames = false;      // whole frames instead of the exact samples of the range
    bool KeepTags = false;         // the source's tags, whole, go with the audio
    bool ReplaceReadOnly = false;  // a read-only file of the output's name is replaced
    bool ToStandardOutput = false; // the output's bytes go to standard output, in order
    // With KeepTags, the output's chapters (on its own timeline); none: the source's chapters
    // that play within the range, moved to it.
    std::optional<std::vector<TChapter>> Chapters{};
    // Everything but the writing, into the outcome's Plan; a missing folder is taken as one
    // the run would make.
    bool DryRun = false;
    TLevelRequest Level{}; // gain, fades, normalizing and ReplayGain
};

// The job that writes the input's frames, every one, to output with a chapter for each ticked
// row ("chp0", "chp1", ...), titled by titles in order, else by the row's own texts.
TCutJob ChaptersJobOf(const std::vector<TSegment> &rows, const std::filesystem::path &input,
                      const std::filesystem::path &output,
                      const std::vector<std::string> &titles = {});

// "song.mp3" proposes "song_片段.mp3" beside it (suffix: UTF-8, the window's own in its
// language).
std::filesystem::path DefaultCutName(const std::filesystem::path &input,
                                     const std::string &suffix = "_片段");

// Checks the request, then writes the whole frames of the range to the output, whole or not at
// all. Progress, if given, hears between the blocks of a long copy; returning false stops the
// cut with nothing written (Stopped).
TJobOutcome RunCut(const TCutJob &job, const TMPEGAFHdr::TCopyProgress &progress = {});
// The same with the input open already (job.Input names it).
TJobOutcome RunCut(TSource &input, const TCutJob &job,
                   const TMPEGAFHdr::TCopyProgress &progress = {});

} // namespace mp3core

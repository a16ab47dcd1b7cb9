#pragma once
// Splitting one file into numbered parts: the one way both front ends do it.

#include "jobs/JobOutcome.h"
#include "plan/SegmentList.h"
#include "tags/OutputTags.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mp3core {

struct TSplitJob
{
    std::filesystem::path Input;
    std::filesystem::path Folder;
    std::string BaseName; // parts are BaseName000.mp3, BaseName001.mp3, ...
    std::vector<TPartSegment> Segments;
    TPartTag Tag;
    // Which tags the parts carry. TextsAndPictures: a part whose texts have a title gets them
    // in both tags, with the source's pictures; a part without a title gets none. All: every
    // part carries the source's tags, with the texts that are given set over them. Parts get
    // their track number n/N either way.
    TTagFrames Tags = TTagFrames::TextsAndPictures;
    bool WholeFrames = false;     // whole frames instead of the exact samples of each segment
    bool ReplaceReadOnly = false; // read-only files of the parts' names are replaced
    // Everything but the writing: the parts planned, named and checked as the run would, into
    // the outcome's Plan. A folder that is missing is taken as one the run would make.
    bool DryRun = false;
    TLevelRequest Level{}; // gain, fades, normalizing and ReplayGain of every part
};

// The job that writes the ticked rows of list.
TSplitJob SplitJobOf(const TSegmentList &list, const std::filesystem::path &input,
                     const std::filesystem::path &folder, const std::string &baseName,
                     const TPartTag &tag);

// The name of part number (from 0) of total, with its texts. "song" and 7 give "song007.mp3";
// the numbers of a split of more than 1000 parts are as wide as its largest ("song0007.mp3"). A
// base name that holds @n, @t, @p or @a is a pattern instead: @n is the track number from 1 (two
// digits or more), @t the title ("Track" and the number when there is none), @p the artist and @a
// the album, in UTF-8, with the characters that file systems refuse (/ \ : * ? " < > | and
// controls) made "_".
std::string PartFileName(const std::string &baseName, size_t number, size_t total = 0,
                         const TPartTag &texts = {});

// Called with the parts done and the total: after each part and between the blocks of a long
// one. Returning false stops the run once the part in hand is written.
using TPartProgress = std::function<bool(size_t done, size_t total)>;

// Checks the request (the input, the folder, every part's name) before the first part, then
// writes the parts in order, each whole or not at all. A segment that holds no whole frame
// makes no part; the parts are numbered without gaps. The first failure ends the run: the
// parts before it stay and are listed in Written, the part that failed leaves nothing behind,
// and an existing file of its name is kept.
TJobOutcome RunSplit(const TSplitJob &job, const TPartProgress &progress = {});
// The same with the input open already (job.Input names it): the one open of a front end that
// planned the split on it.
TJobOutcome RunSplit(TSource &input, const TSplitJob &job, const TPartProgress &progress = {});

} // namespace mp3core

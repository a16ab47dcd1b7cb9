#pragma once
// The one planner of a split for both front ends: a request (cut points, equal steps of
// playing time or of size, the silences of the recording, the tracks of a CUE sheet) becomes
// the segment list the job writes, or the reason why it cannot.

#include "format/Source.h"
#include "plan/CueSheet.h"
#include "plan/PlanLists.h"
#include "plan/SegmentList.h"
#include "plan/SilenceScan.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mp3core {

struct TSplitRequest
{
    enum class TMethod
    {
        Times,    // Times: the cut points
        Every,    // StepMs of playing time; with AdjustMs, each point moved to a silence
        Size,     // StepBytes of audio, cut at the frame boundary nearest to each step
        Silence,  // the middle of every silence (Silence), or without them (Trim)
        Cue,      // the tracks of the CUE sheet Cue
        Chapters, // the chapters of the file's ID3v2 tag
        Labels,   // cut at the labels of the Audacity label file Labels, titled by them
        Parts,    // Parts parts of equal playing time, cut at the frame boundaries nearest
    };
    TMethod Method = TMethod::Every;
    std::vector<int64_t> Times;
    int64_t StepMs = 0;
    // Each point of the time step moves to the middle of the nearest silence whose middle lies
    // within so many ms of it; none: the points stay.
    std::optional<int64_t> AdjustMs;
    int64_t StepBytes = 0;
    TSilenceOptions Silence; // for Silence and AdjustMs
    bool Trim = false;       // the silences (and those at either end) stay out of the parts
    std::filesystem::path Cue;
    std::filesystem::path Labels;
    int64_t Parts = 0;
};

struct TSplitPlan
{
    enum class TStatus
    {
        Planned,
        Stopped,       // the silence scan was asked to stop
        BadStep,       // a step of less than 1 ms or 1 byte
        PointTwice,    // Times[Point] is given twice or lies at an end
        PointOutside,  // Times[Point] lies outside the audio
        Undecodable,   // the file could not be decoded for its silences; Reason: why
        NoSilence,     // no silence of the options' length and level
        CueFault,      // the sheet cannot be used: Cue.Line and Cue.Reason
        CueOutside,    // every track starts after the end of the audio
        NoChapters,    // the file's tag has no chapter that starts within its audio
        LabelsFault,   // the label file cannot be used: LabelsRead.Line and LabelsRead.Reason
        LabelsOutside, // every label starts after the end of the audio
    };
    TStatus Status = TStatus::Planned;
    TSegmentList List;
    size_t Point = 0;
    std::string Reason;
    TCueRead Cue;             // Cue: the sheet as read
    size_t TracksLeftOut = 0; // Cue, Chapters: tracks that start after the end of the audio
    size_t Tracks = 0;        // Cue, Chapters: how many the sheet or the tag holds
    TLabelsRead LabelsRead;   // Labels: the file as read
};

// The chapters of a tag as tracks: each from its start, with the album's texts (the tag's)
// and its own title.
std::vector<TCueTrack> ChapterTracks(const TSourceTags &tags);

// The cut points of parts parts of equal playing time over lengthMs, each at the start of the
// frame (of frameMs) nearest to it.
std::vector<int64_t> EqualPartPoints(int64_t lengthMs, int64_t parts, double frameMs);

// The plan of the request over the source's whole length. A silence scan reports to progress,
// which may stop it.
TSplitPlan PlanSplit(TSource &source, const TSplitRequest &request,
                     const TScanProgress &progress = {});

// True when the request needs only the length of the file (cut points, or a time step that
// no silence moves), which the next PlanSplit plans without reading it.
bool NeedsOnlyLength(const TSplitRequest &request);
// The plan of such a request over a file of lengthMs whose cut points stop being of use from
// lastCutMs on (see TSource::LastCutMs).
TSplitPlan PlanSplit(int64_t lengthMs, int64_t lastCutMs, const TSplitRequest &request);

} // namespace mp3core

#include "plan/SplitPlanner.h"

#include "plan/SplitPlan.h"

#include <algorithm>
#include <cmath>

namespace mp3core {

namespace {

using TStatus = TSplitPlan::TStatus;

void PlanTimes(const TSplitRequest &request, TSplitPlan &plan)
{
    for (size_t i = 0; i < request.Times.size(); ++i) {
        switch (plan.List.AddCut(request.Times[i]).What) {
        case TSegmentList::TAdd::Added:
            break;
        case TSegmentList::TAdd::Exists:
            plan.Status = TStatus::PointTwice;
            plan.Point = i;
            return;
        case TSegmentList::TAdd::Outside:
            plan.Status = TStatus::PointOutside;
            plan.Point = i;
            return;
        }
    }
}

void PlanCue(TSource &source, const TSplitRequest &request, TSplitPlan &plan)
{
    plan.Cue = ReadCueSheet(request.Cue, source.Stream->FileName());
    if (!plan.Cue.Sheet) {
        plan.Status = TStatus::CueFault;
        return;
    }
    plan.Tracks = plan.Cue.Sheet->Tracks.size();
    plan.TracksLeftOut = plan.List.PlanTracks(plan.Cue.Sheet->Tracks);
    if (plan.TracksLeftOut == plan.Cue.Sheet->Tracks.size()) {
        plan.Status = TStatus::CueOutside;
    }
}

void PlanChapters(TSource &source, TSplitPlan &plan)
{
    const std::vector<TCueTrack> tracks =
        ChapterTracks(ReadSourceTags(*source.Stream, source.Hdr.AudioStart));
    plan.Tracks = tracks.size();
    plan.TracksLeftOut = plan.List.PlanTracks(tracks);
    if (plan.TracksLeftOut == tracks.size()) {
        plan.Status = TStatus::NoChapters;
    }
}

void PlanLabels(const TSplitRequest &request, TSplitPlan &plan)
{
    plan.LabelsRead = ReadLabels(request.Labels);
    if (!plan.LabelsRead.Tracks) {
        plan.Status = TStatus::LabelsFault;
        return;
    }
    plan.Tracks = plan.LabelsRead.Tracks->size();
    plan.TracksLeftOut = plan.List.PlanTracks(*plan.LabelsRead.Tracks);
    if (plan.TracksLeftOut == plan.Tracks) {
        plan.Status = TStatus::LabelsOutside;
    }
    // Labels are cut points: the stretch before the first one is a part too.
    for (size_t row = 0; row < plan.List.Count(); ++row) {
        plan.List.SetTicked(row, true);
    }
}

// The silences of the source, or none with the plan's status said.
std::optional<TSilenceScan> Silences(TSource &source, const TSplitRequest &request,
                                     const TScanProgress &progress, TSplitPlan &plan)
{
    TSilenceScan scan = FindSilences(source, request.Silence, progress);
    if (scan.Stopped) {
        plan.Status = TStatus::Stopped;
        return std::nullopt;
    }
    if (!scan.Error.empty()) {
        plan.Status = TStatus::Undecodable;
        plan.Reason = scan.Error;
        return std::nullopt;
    }
    return scan;
}

void PlanSilences(TSource &source, const TSplitRequest &request, const TScanProgress &progress,
                  TSplitPlan &plan)
{
    const std::optional<TSilenceScan> scan = Silences(source, request, progress, plan);
    if (!scan) {
        return;
    }
    const std::vector<int64_t> points = SilenceCutPoints(*scan, request.Silence);
    if (points.empty()) {
        plan.Status = TStatus::NoSilence;
    } else if (!request.Trim) {
        plan.List.PlanTimes(points);
    } else {
        for (const TSilence &q : SilencesLeftOut(*scan, points)) {
            plan.List.LeaveOut(q.StartMs, q.EndMs);
        }
    }
}

} // namespace

bool NeedsOnlyLength(const TSplitRequest &request)
{
    using TMethod = TSplitRequest::TMethod;
    return request.Method == TMethod::Times ||
           (request.Method == TMethod::Every && !request.AdjustMs);
}

TSplitPlan PlanSplit(int64_t lengthMs, int64_t lastCutMs, const TSplitRequest &request)
{
    TSplitPlan plan;
    plan.List.Reset(lengthMs, std::min(lengthMs, lastCutMs));
    if (request.Method == TSplitRequest::TMethod::Times) {
        PlanTimes(request, plan);
    } else if (request.StepMs < 1) {
        plan.Status = TStatus::BadStep;
    } else {
        plan.List.Plan(0, lengthMs, request.StepMs);
    }
    return plan;
}

std::vector<int64_t> EqualPartPoints(int64_t lengthMs, int64_t parts, double frameMs)
{
    std::vector<int64_t> points;
    for (int64_t k = 1; k < parts; ++k) {
        const double at = double(lengthMs) * double(k) / double(parts);
        points.push_back(std::llround(std::round(at / frameMs) * frameMs));
    }
    return points;
}

std::vector<TCueTrack> ChapterTracks(const TSourceTags &tags)
{
    const TPartTag album = SourceTexts(tags).value_or(TPartTag{});
    std::vector<TCueTrack> tracks;
    for (const TChapter &c : tags.Chapters) {
        TCueTrack t;
        t.Number = int(tracks.size()) + 1;
        t.StartMs = c.StartMs;
        t.Tag = album;
        t.Tag.Title = c.Title; // none: the file's title
        tracks.push_back(std::move(t));
    }
    return tracks;
}

TSplitPlan PlanSplit(TSource &source, const TSplitRequest &request, const TScanProgress &progress)
{
    using TMethod = TSplitRequest::TMethod;
    const int64_t length = source.LengthMs();
    if (NeedsOnlyLength(request)) {
        return PlanSplit(length, source.LastCutMs(), request);
    }
    TSplitPlan plan;
    plan.List.Reset(length, std::min(length, source.LastCutMs()));
    switch (request.Method) {
    case TMethod::Times:
        break;
    case TMethod::Cue:
        PlanCue(source, request, plan);
        break;
    case TMethod::Chapters:
        PlanChapters(source, plan);
        break;
    case TMethod::Labels:
        PlanLabels(request, plan);
        break;
    case TMethod::Parts:
        if (request.Parts < 1 || request.Parts > length) {
            plan.Status = TStatus::BadStep;
            break;
        }
        plan.List.PlanTimes(EqualPartPoints(length, request.Parts,
                                            1000.0 * source.Hdr.SamplesPerFrame /
                                                std::max(1, source.Hdr.SampleRate)));
        break;
    case TMethod::Silence:
        PlanSilences(source, request, progress, plan);
        break;
    case TMethod::Size:
        if (request.StepBytes < 1) {
            plan.Status = TStatus::BadStep;
            break;
        }
        // A size step cuts at the frame boundaries nearest to every so many bytes, VBR or not.
        plan.List.PlanTimes(source.SizeCutTimes(0, length, request.StepBytes));
        break;
    case TMethod::Every:
        if (request.StepMs < 1) {
            plan.Status = TStatus::BadStep;
            break;
        }
        if (const auto scan = Silences(source, request, progress, plan)) {
            plan.List.PlanTimes(AdjustToSilences(PlanCutPoints(0, length, request.StepMs), *scan,
                                                 *request.AdjustMs));
        }
        break;
    }
    return plan;
}

} // namespace mp3core

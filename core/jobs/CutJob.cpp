#include "jobs/CutJob.h"

#include "io/Errors.h"
#include "io/OutputFile.h"
#include "jobs/ChapterOffsets.h"
#include "output/OutputAssembly.h"

#include <algorithm>

namespace mp3core {

namespace fs = std::filesystem;

fs::path DefaultCutName(const fs::path &input, const std::string &suffix)
{
    const std::u8string stem = input.stem().u8string();
    // A name that is only an extension (".mp3") keeps it as its extension.
    const bool onlyExtension = !stem.empty() && stem[0] == u8'.' && input.extension().empty();
    const std::u8string base = onlyExtension ? std::u8string() : stem;
    const std::u8string ext = onlyExtension ? stem : input.extension().u8string();
    const std::u8string own(suffix.begin(), suffix.end());
    return input.parent_path() / fs::path(base + own + ext);
}

TCutJob ChaptersJobOf(const std::vector<TSegment> &rows, const std::filesystem::path &input,
                      const std::filesystem::path &output, const std::vector<std::string> &titles)
{
    TCutJob job;
    job.Input = input;
    job.Output = output;
    job.WholeFrames = true; // the same audio frames, every one
    job.KeepTags = true;
    job.Chapters.emplace();
    for (const TSegment &row : rows) {
        if (!row.Ticked) {
            continue;
        }
        const size_t k = job.Chapters->size();
        job.Chapters->push_back({"chp" + std::to_string(k), row.StartMs, row.EndMs,
                                 k < titles.size() ? titles[k]
                                 : row.Tag         ? row.Tag->Title
                                                   : std::string()});
    }
    return job;
}

TJobOutcome RunCut(const TCutJob &job, const TMPEGAFHdr::TCopyProgress &progress)
{
    TJobOutcome outcome;
    TSource input;
    if (!OpenJobInput(job.Input, input, outcome)) {
        return outcome;
    }
    return RunCut(input, job, progress);
}

namespace {

// The cut to standard output, in order.
void WriteToStandardOutput(TSource &input, const TCutJob &job, const TOutputPlan &plan,
                           const TOutputTags &tags, const TMPEGAFHdr::TCopyProgress &progress,
                           TJobOutcome &outcome)
{
    try {
        const std::unique_ptr<TFileStream> out = TFileStream::StandardOutput();
        if (!WriteOutput(input, *out, plan, tags, progress, true, job.Level.Level)) {
            outcome.Status = TJobStatus::Stopped;
        }
    } catch (const EReadError &e) {
        Failed(outcome, TJobStatus::ReadFailed, job.Input, e);
    } catch (const EStreamError &e) {
        Failed(outcome, TJobStatus::WriteFailed, "standard output", e);
    }
}

// The cut to its file, whole or not at all.
void WriteToFile(TSource &input, const TCutJob &job, const TOutputPlan &plan,
                 const TOutputTags &tags, const std::vector<TChapter> &chapters,
                 const TMPEGAFHdr::TCopyProgress &progress, TJobOutcome &outcome)
{
    try {
        RemoveAbandonedTemporaries(FolderOf(OutputTarget(job.Output)));
    } catch (const EStreamError &) {
        // A link changed since the check: creating the output says why.
    }
    std::unique_ptr<TOutputFile> out;
    if (!CreateOutput(job.Output, out, outcome)) {
        return;
    }
    try {
        TLevelled &level = outcome.Plan.back().Level;
        if (!WriteLevelled(input, out->Stream(), plan, tags, progress, job.Level, std::nullopt,
                           level)) {
            outcome.Status = TJobStatus::Stopped; // the unfinished file goes with out
            return;
        }
        if (tags.ReplayGainAt >= 0) {
            level.Loudness = MeasureReplayGain(out->Stream());
            WriteTrackGain(out->Stream(), tags.ReplayGainAt, tags.ReplayGainBytes, *level.Loudness,
                           false);
        }
        WriteChapterOffsets(out->Stream(), chapters);
    } catch (const EReadError &e) {
        Failed(outcome, TJobStatus::ReadFailed, job.Input, e);
        return;
    } catch (const EStreamError &e) {
        Failed(outcome, TJobStatus::WriteFailed, job.Output, e);
        return;
    }
    if (CommitOutput(*out, job.Output, outcome)) {
        outcome.Written.push_back(job.Output);
    }
}

// Refuses an empty range, one over a change of format and an output that may not be written;
// false with the outcome filled.
bool CheckCut(TSource &input, const TCutJob &job, TJobOutcome &outcome)
{
    if (job.EndMs && std::max<int64_t>(job.StartMs, 0) >= *job.EndMs) {
        outcome.Status = TJobStatus::EmptyRange;
        return false;
    }
    // One output holds one stream: a range over a change of format is refused, not cut short.
    const size_t stream = input.StreamAt(job.StartMs);
    if (stream + 1 < input.StreamCount() &&
        job.EndMs.value_or(INT64_MAX) > input.StreamStartMs(stream + 1)) {
        outcome.Status = TJobStatus::CrossesStreams;
        outcome.File = job.Input;
        outcome.Reason = StreamChangeText(input, stream + 1);
        return false;
    }
    if (job.Level.ChangesFrames() && !CanChangeLevel(input.StreamHdr(stream), job.Input, outcome)) {
        return false;
    }
    const bool toMake = job.DryRun && !std::filesystem::exists(FolderOf(job.Output));
    return job.ToStandardOutput || toMake ||
           CheckOutput(job.Output, job.Input, outcome, job.ReplaceReadOnly);
}

} // namespace

TJobOutcome RunCut(TSource &input, const TCutJob &job, const TMPEGAFHdr::TCopyProgress &progress)
{
    TJobOutcome outcome;
    outcome.AudioMs = input.LengthMs();
    if (!CheckCut(input, job, outcome)) {
        return outcome;
    }
    TOutputPlan plan;
    TOutputTags tags;
    std::vector<TChapter> chapters;
    try {
        plan = PlanOutputs(input, {{job.StartMs, job.EndMs}}, !job.WholeFrames).front();
        if (job.KeepTags) {
            const TSourceTags source = ReadSourceTags(*input.Stream, input.Hdr.AudioStart);
            outcome.TagNote = source.Note;
            chapters = job.Chapters ? *job.Chapters
                                    : ChaptersWithin(source.Chapters, job.StartMs,
                                                     job.EndMs.value_or(input.LengthMs()));
            tags = RenderTags(source, {}, TTagFrames::All, 0, 0, chapters,
                              job.Level.ReplayGain && !job.ToStandardOutput
                                  ? std::optional(WidestReplayGain(false))
                                  : std::nullopt);
        }
    } catch (const EStreamError &e) {
        Failed(outcome, TJobStatus::ReadFailed, job.Input, e);
        return outcome;
    }
    if (plan.Bytes.End <= plan.Bytes.Start) {
        outcome.Status = TJobStatus::EmptyRange;
        return outcome;
    }
    outcome.Planned = 1;
    outcome.Plan.push_back({job.Output,
                            std::max<int64_t>(0, job.StartMs),
                            std::min(job.EndMs.value_or(input.LengthMs()), input.LengthMs()),
                            plan.Bytes.End - plan.Bytes.Start,
                            {}});
    if (job.DryRun) {
        return outcome;
    }
    if (job.ToStandardOutput) {
        WriteToStandardOutput(input, job, plan, tags, progress, outcome);
    } else {
        WriteToFile(input, job, plan, tags, chapters, progress, outcome);
        outcome.Plan.back().Bytes = FileBytes(job.Output);
    }
    return outcome;
}

} // namespace mp3core

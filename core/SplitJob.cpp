#include "SplitJob.h"

#include "Errors.h"
#include "OutputAssembly.h"
#include "OutputFile.h"

#include <cstdio>

namespace fs = std::filesystem;

std::string PartFileName(const std::string &baseName, size_t number)
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%03zu", number);
    return baseName + digits + ".mp3";
}

namespace {

const TPartTag &TextsOf(const TSplitJob &job, size_t n)
{
    const TPartSegment &segment = job.Segments[n];
    return segment.Tag ? *segment.Tag : job.Tag;
}

} // namespace

TJobOutcome RunSplit(const TSplitJob &job, const TPartProgress &progress)
{
    TJobOutcome outcome;
    TJobInput input;
    if (!OpenJobInput(job.Input, input, outcome)) {
        return outcome;
    }
    // Where every part lies. A segment without a whole frame makes no part: it merges into the
    // part before, which it adds nothing to, and the parts after it keep consecutive numbers.
    struct TPart
    {
        TOutputPlan Plan;
        const TPartTag *Texts;
    };
    std::vector<TPart> parts;
    TSourceTags source;
    try {
        if (job.Tags != TTagFrames::None) {
            source = ReadSourceTags(*input.Stream, input.Hdr.AudioStart);
            outcome.TagNote = source.Note;
        }
        std::vector<TOutputRange> ranges;
        for (const TPartSegment &segment : job.Segments) {
            ranges.push_back({segment.StartMs, segment.EndMs});
        }
        std::vector<TOutputPlan> plans = PlanOutputs(input, ranges, !job.WholeFrames);
        for (size_t n = 0; n < plans.size(); ++n) {
            if (plans[n].Bytes.Start < plans[n].Bytes.End) {
                parts.push_back({std::move(plans[n]), &TextsOf(job, n)});
            }
        }
    } catch (const EStreamError &e) {
        Failed(outcome, TJobStatus::ReadFailed, job.Input, e);
        return outcome;
    }
    const size_t total = parts.size();
    outcome.Planned = total;
    if (total == 0) {
        outcome.Status = TJobStatus::EmptyRange;
        return outcome;
    }
    // Refuse before the first part rather than fail halfway.
    for (size_t n = 0; n < total; ++n) {
        if (!CheckOutput(job.Folder / PartFileName(job.BaseName, n), job.Input, outcome)) {
            return outcome;
        }
    }

    bool stop = false;
    for (size_t n = 0; n < total && !stop; ++n) {
        const fs::path path = job.Folder / PartFileName(job.BaseName, n);
        std::unique_ptr<TOutputFile> out;
        if (!CreateOutput(path, out, outcome)) {
            return outcome;
        }
        // A long part reports between its blocks too, so that a window stays alive; a stop
        // asked for then ends the run after this part.
        TMPEGAFHdr::TCopyProgress onBlock;
        if (progress) {
            onBlock = [&](int64_t, int64_t) {
                stop = stop || !progress(n, total);
                return true;
            };
        }
        const TPartTag &texts = *parts[n].Texts;
        const bool tagged = job.Tags == TTagFrames::All ||
                            (job.Tags == TTagFrames::TextsAndPictures && !texts.Title.empty());
        try {
            // The copy ends before the input's trailing tags: the part's own go around it.
            const TOutputTags tags =
                tagged ? RenderTags(source, texts, job.Tags, int(n + 1), int(total)) : TOutputTags{};
            WriteOutput(input, out->Stream(), parts[n].Plan, tags, onBlock);
        } catch (const EReadError &e) {
            Failed(outcome, TJobStatus::ReadFailed, job.Input, e);
            return outcome;
        } catch (const EStreamError &e) {
            Failed(outcome, TJobStatus::WriteFailed, path, e);
            return outcome;
        }
        if (!CommitOutput(*out, path, outcome)) {
            return outcome;
        }
        outcome.Written.push_back(path);
        if (progress && !progress(n + 1, total)) {
            stop = true;
        }
    }
    outcome.Status = outcome.Written.size() < total ? TJobStatus::Stopped : TJobStatus::Done;
    return outcome;
}

#include "jobs/SplitJob.h"

#include "io/Arith.h"
#include "io/Errors.h"
#include "io/OutputFile.h"
#include "jobs/ChapterOffsets.h"
#include "jobs/PartCommits.h"
#include "output/OutputAssembly.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <unordered_set>

#include <cstdio>

namespace mp3core {

namespace fs = std::filesystem;

namespace {

bool IsPattern(const std::string &baseName)
{
    for (size_t at = baseName.find('@'); at != std::string::npos; at = baseName.find('@', at + 1)) {
        if (at + 1 < baseName.size() && std::strchr("ntpa", baseName[at + 1]) != nullptr) {
            return true;
        }
    }
    return false;
}

// A tag text as a piece of a file name.
std::string NamePiece(const std::string &utf8)
{
    std::string text = utf8;
    for (char &c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
            std::strchr("/\\:*?\"<>|", c) != nullptr) {
            c = '_';
        }
    }
    return text;
}

} // namespace

std::string PartFileName(const std::string &baseName, size_t number, size_t total,
                         const TPartTag &texts)
{
    if (!IsPattern(baseName)) {
        // Every number of a split as wide as its largest, so that names sort in order.
        const int width =
            std::max<int>(3, int(std::to_string(std::max<size_t>(total, 1) - 1).size()));
        char digits[32];
        std::snprintf(digits, sizeof digits, "%0*zu", width, number);
        return baseName + digits + ".mp3";
    }
    const int width = std::max<int>(2, int(std::to_string(std::max(total, number + 1)).size()));
    char track[32];
    std::snprintf(track, sizeof track, "%0*zu", width, number + 1);
    std::string name;
    for (size_t i = 0; i < baseName.size(); ++i) {
        const char key = i + 1 < baseName.size() && baseName[i] == '@' ? baseName[i + 1] : 0;
        if (key == 'n') {
            name += track;
        } else if (key == 't') {
            name += texts.Title.empty() ? "Track " + std::string(track) : NamePiece(texts.Title);
        } else if (key == 'p') {
            name += NamePiece(texts.Artist);
        } else if (key == 'a') {
            name += NamePiece(texts.Album);
        } else {
            name += baseName[i];
            continue;
        }
        ++i;
    }
    // No blanks at either end, no hidden file, and room for ".mp3" in a name of 255 bytes.
    const size_t first = name.find_first_not_of(' ');
    name = first == std::string::npos ? ""
                                      : name.substr(first, name.find_last_not_of(' ') + 1 - first);
    if (name.empty() || name[0] == '.') {
        name.insert(0, "_");
    }
    if (name.size() > 251) {
        size_t cut = 251;
        while ((static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        name.resize(cut);
    }
    return name + ".mp3";
}

namespace {

const TPartTag &TextsOf(const TSplitJob &job, const TPartSegment &segment)
{
    return segment.Tag ? *segment.Tag : job.Tag;
}

// The segments with every change of format inside one made a cut point of its own, so that
// no part runs over one; origin: each piece's segment; the changes that did so go into note.
std::vector<TPartSegment> AtStreamChanges(TSource &input, const std::vector<TPartSegment> &given,
                                          std::vector<size_t> &origin, std::string &note)
{
    std::vector<TPartSegment> segments;
    for (size_t n = 0; n < given.size(); ++n) {
        const TPartSegment &segment = given[n];
        TPartSegment piece = segment;
        for (size_t k = 1; k < input.StreamCount(); ++k) {
            const int64_t change = input.StreamStartMs(k);
            if (piece.StartMs < change && change < segment.EndMs.value_or(INT64_MAX)) {
                TPartSegment before = piece;
                before.EndMs = change;
                segments.push_back(before);
                origin.push_back(n);
                piece.StartMs = change;
                note +=
                    (note.empty() ? "" : "; ") +
                    ("the format changes at " + StreamChangeText(input, k) + ": a part ends there");
            }
        }
        segments.push_back(piece);
        origin.push_back(n);
    }
    return segments;
}

} // namespace

TSplitJob SplitJobOf(const TSegmentList &list, const std::filesystem::path &input,
                     const std::filesystem::path &folder, const std::string &baseName,
                     const TPartTag &tag)
{
    TSplitJob job;
    job.Input = input;
    job.Folder = folder;
    job.BaseName = baseName;
    job.Tag = tag;
    job.Segments = list.Parts();
    return job;
}

TJobOutcome RunSplit(const TSplitJob &job, const TPartProgress &progress)
{
    TJobOutcome outcome;
    TSource input;
    if (!OpenJobInput(job.Input, input, outcome)) {
        return outcome;
    }
    return RunSplit(input, job, progress);
}

namespace {

// A part to write: where it lies, and its texts.
struct TPart
{
    TOutputPlan Plan;
    const TPartTag *Texts;
    int64_t StartMs = 0; // where it lies on the file's timeline
    int64_t EndMs = 0;
};

// Where every part lies. A segment without a whole frame makes no part: it merges into the
// part before, which it adds nothing to, and the parts after it keep consecutive numbers.
// False with the outcome filled when the input cannot be read.
bool PlanParts(TSource &input, const TSplitJob &job, TSourceTags &source, std::vector<TPart> &parts,
               TJobOutcome &outcome)
{
    try {
        if (job.Tags != TTagFrames::None) {
            source = ReadSourceTags(*input.Stream, input.Hdr.AudioStart);
            outcome.TagNote = source.Note;
        }
        std::vector<size_t> origin;
        const std::vector<TPartSegment> segments =
            AtStreamChanges(input, job.Segments, origin, outcome.StreamNote);
        std::vector<TOutputRange> ranges;
        for (const TPartSegment &segment : segments) {
            ranges.push_back({segment.StartMs, segment.EndMs});
        }
        // The exact parts of a walked stream are walked as they are written: one read of it.
        std::vector<TOutputPlan> plans = PlanOutputs(input, ranges, !job.WholeFrames, true);
        for (size_t n = 0; n < plans.size(); ++n) {
            if (plans[n].Later || plans[n].Bytes.Start < plans[n].Bytes.End) {
                parts.push_back({std::move(plans[n]), &TextsOf(job, job.Segments[origin[n]]),
                                 segments[n].StartMs,
                                 segments[n].EndMs.value_or(input.LengthMs())});
            }
        }
    } catch (const EStreamError &e) {
        Failed(outcome, TJobStatus::ReadFailed, job.Input, e);
        return false;
    }
    return true;
}

// The parts' names, refused before the first part rather than failing halfway or letting one
// part replace another; false with the outcome filled.
bool PartPaths(const TSplitJob &job, const std::vector<TPart> &parts, std::vector<fs::path> &paths,
               TJobOutcome &outcome)
{
    std::unordered_set<std::string> names;
    for (size_t n = 0; n < parts.size(); ++n) {
        const std::string name = PartFileName(job.BaseName, n, parts.size(), *parts[n].Texts);
        paths.push_back(job.Folder / name);
        if (!names.insert(name).second) {
            outcome.Status = TJobStatus::SameName;
            outcome.File = paths.back();
            return false;
        }
        const bool toMake = job.DryRun && !fs::exists(job.Folder);
        if (!toMake && !CheckOutput(paths.back(), job.Input, outcome, job.ReplaceReadOnly)) {
            return false;
        }
    }
    return true;
}

// Writes part n of total to its unfinished file, whole, for commits to put in place; false with
// the outcome filled.
bool WritePart(TSource &input, const TSplitJob &job, const TSourceTags &source, const TPart &part,
               size_t n, size_t total, const fs::path &path,
               const TMPEGAFHdr::TCopyProgress &onBlock, std::optional<int> albumSteps,
               TPartCommits &commits, TJobOutcome &outcome)
{
    TWrittenPart written{nullptr, path, part.StartMs, part.EndMs, -1, 0, {}};
    if (!CreateOutput(path, written.Out, outcome)) {
        return false;
    }
    const TPartTag &texts = *part.Texts;
    const bool tagged = job.Tags == TTagFrames::All ||
                        (job.Tags == TTagFrames::TextsAndPictures && !texts.Title.empty());
    try {
        // The copy ends before the input's trailing tags: the part's own go around it.
        const std::vector<TChapter> chapters =
            tagged ? ChaptersWithin(source.Chapters, part.StartMs, part.EndMs)
                   : std::vector<TChapter>{};
        TOutputTags tags;
        if (tagged) {
            tags = RenderTags(source, texts, job.Tags, int(n + 1), int(total), chapters,
                              job.Level.ReplayGain ? std::optional(WidestReplayGain(true))
                                                   : std::nullopt);
        }
        WriteLevelled(input, written.Out->Stream(), part.Plan, tags, onBlock, job.Level, albumSteps,
                      written.Level);
        WriteChapterOffsets(written.Out->Stream(), chapters);
        written.GainAt = tags.ReplayGainAt;
        written.GainRoom = tags.ReplayGainBytes;
    } catch (const EReadError &e) {
        Failed(outcome, TJobStatus::ReadFailed, job.Input, e);
        return false;
    } catch (const EStreamError &e) {
        Failed(outcome, TJobStatus::WriteFailed, path, e);
        return false;
    }
    commits.Add(std::move(written));
    return true;
}

// The parts' level before the first is written: refused for frames that hold no gain; the
// album's normalizing step from the peak of the stretch they cover. False with the outcome
// filled.
bool PlanLevel(TSource &input, const TSplitJob &job, const std::vector<TPart> &parts,
               std::optional<int> &albumSteps, TJobOutcome &outcome)
{
    for (const TPart &part : job.Level.ChangesFrames() ? parts : std::vector<TPart>{}) {
        if (!CanChangeLevel(input.StreamHdr(part.Plan.Stream), job.Input, outcome)) {
            return false;
        }
    }
    // A file of several streams is normalized part by part.
    if (job.DryRun || !job.Level.NormalizeDbfs || !job.Level.NormalizeAlbum ||
        input.StreamCount() > 1) {
        return true;
    }
    const int64_t rate = input.Hdr.SampleRate;
    std::string error;
    const std::optional<TLoudness> covered = MeasureLoudness(
        job.Input, TPeakKind::True, error, RoundHalfEven(parts.front().StartMs * rate, 1000),
        RoundHalfEven(parts.back().EndMs * rate, 1000));
    if (!covered) {
        outcome.Status = TJobStatus::ReadFailed;
        outcome.File = job.Input;
        outcome.Reason = error;
        return false;
    }
    albumSteps = StepsUnder(covered->Peak, *job.Level.NormalizeDbfs);
    return true;
}

// A dry run's plan: each part's name, stretch and the bytes of its frames.
void PlanOnly(TSource &input, const std::vector<TPart> &parts, const std::vector<fs::path> &paths,
              TJobOutcome &outcome)
{
    for (size_t n = 0; n < parts.size(); ++n) {
        const TByteRange bytes = input.RangeBytes(parts[n].StartMs, parts[n].EndMs);
        outcome.Plan.push_back(
            {paths[n], parts[n].StartMs, parts[n].EndMs, bytes.End - bytes.Start, {}});
    }
}

// The album's ReplayGain, once every part is in place, into each part's tag.
void AlbumGain(const TSplitJob &job, const std::vector<TWrittenGain> &gains, TJobOutcome &outcome)
{
    if (gains.empty()) {
        return;
    }
    try {
        outcome.Album = WriteAlbumGain(gains);
    } catch (const EStreamError &e) {
        Failed(outcome, TJobStatus::WriteFailed, job.Folder, e);
    }
}

} // namespace

TJobOutcome RunSplit(TSource &input, const TSplitJob &job, const TPartProgress &progress)
{
    TJobOutcome outcome;
    outcome.AudioMs = input.LengthMs();
    std::vector<TPart> parts;
    TSourceTags source;
    if (!PlanParts(input, job, source, parts, outcome)) {
        return outcome;
    }
    const size_t total = parts.size();
    outcome.Planned = total;
    if (total == 0) {
        outcome.Status = TJobStatus::EmptyRange;
        return outcome;
    }
    std::vector<fs::path> paths;
    if (!PartPaths(job, parts, paths, outcome)) {
        return outcome;
    }
    std::optional<int> albumSteps;
    if (!PlanLevel(input, job, parts, albumSteps, outcome)) {
        return outcome;
    }
    if (job.DryRun) {
        PlanOnly(input, parts, paths, outcome);
        return outcome;
    }
    RemoveAbandonedTemporaries(job.Folder);

    // With ReplayGain, the parts are measured a core each while the next are written, and put
    // in place in order.
    TPartCommits commits(outcome);
    const size_t measuring = std::max(1u, std::thread::hardware_concurrency());
    bool stop = false;
    for (size_t n = 0; n < total && !stop; ++n) {
        // A long part reports between its blocks too, so that a window stays alive; a stop
        // asked for then ends the run after this part.
        TMPEGAFHdr::TCopyProgress onBlock;
        if (progress) {
            onBlock = [&](int64_t, int64_t) {
                stop = stop || !progress(n, total);
                return true;
            };
        }
        if (!WritePart(input, job, source, parts[n], n, total, paths[n], onBlock, albumSteps,
                       commits, outcome) ||
            !commits.Settle(job.Level.ReplayGain ? measuring - 1 : 0)) {
            return outcome;
        }
        if (progress && !progress(outcome.Written.size(), total)) {
            stop = true;
        }
    }
    if (!commits.Settle(0)) {
        return outcome;
    }
    outcome.Status = outcome.Written.size() < total ? TJobStatus::Stopped : TJobStatus::Done;
    if (job.Level.ReplayGain && !stop) {
        AlbumGain(job, commits.Gains(), outcome);
    }
    return outcome;
}

} // namespace mp3core

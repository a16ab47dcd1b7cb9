// mp3cut split: the segments asked for by each method, laid as the Split page lays them, and
// the run that writes them.
#include "Command.h"

#include "Report.h"
#include "io/Arith.h"
#include "jobs/CutJob.h"
#include "jobs/SplitJob.h"
#include "jobs/Verify.h"
#include "plan/SegmentList.h"
#include "plan/SilenceScan.h"
#include "plan/SplitPlan.h"
#include "plan/SplitPlanner.h"
#include "plan/TimeText.h"
#include "tags/MP3TAG.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

uint8_t ParseGenre(const std::string &text)
{
    int32_t number = 0;
    if (TryStrToInt(text, number)) {
        if (number < 0 || number > 255) {
            Fail(UsageError, "a genre number runs from 0 to 255");
        }
        return uint8_t(number);
    }
    if (const std::optional<uint8_t> genre = GenreByName(text)) {
        return *genre;
    }
    Fail(UsageError, "unknown genre '" + text + "'");
}

// The silence options given (--threshold, --min-silence, --min-part).
TSilenceOptions SilenceOptions(const TOptions &opts)
{
    TSilenceOptions silence;
    silence.ThresholdDb = ParseNumber(opts, "--threshold", silence.ThresholdDb);
    silence.MinSilenceMs = int64_t(ParseNumber(opts, "--min-silence", 1.0) * 1000);
    silence.MinPartMs = int64_t(ParseNumber(opts, "--min-part", 0.0) * 1000);
    return silence;
}

// The request the options make, with the texts of the cut points of --at.
TSplitRequest Request(const TOptions &opts, std::vector<std::string> &atTexts, int64_t lengthMs)
{
    const int methods =
        int(opts.count("--at") + opts.count("--every") + opts.count("--size") +
            opts.count("--silence") + opts.count("--cue") + opts.count("--chapters") +
            opts.count("--labels") + opts.count("--parts"));
    if (methods != 1) {
        Fail(UsageError, "split takes one of --at, --every, --parts, --size, --silence, --cue, "
                         "--chapters and --labels");
    }
    if (opts.count("--adjust") && !opts.count("--every")) {
        Fail(UsageError, "--adjust moves the points of --every");
    }
    using TMethod = TSplitRequest::TMethod;
    TSplitRequest request;
    request.Silence = SilenceOptions(opts);
    request.Trim = opts.count("--trim") != 0;
    if (opts.count("--at")) {
        request.Method = TMethod::Times;
        const std::string &at = opts.at("--at");
        for (size_t from = 0; from <= at.size();) {
            const size_t comma = std::min(at.find(',', from), at.size());
            atTexts.push_back(at.substr(from, comma - from));
            request.Times.push_back(ParseTime(atTexts.back(), "--at", lengthMs));
            from = comma + 1;
        }
    } else if (opts.count("--cue")) {
        request.Method = TMethod::Cue;
        request.Cue = opts.at("--cue");
    } else if (opts.count("--silence")) {
        request.Method = TMethod::Silence;
    } else if (opts.count("--chapters")) {
        request.Method = TMethod::Chapters;
    } else if (opts.count("--parts")) {
        request.Method = TMethod::Parts;
        request.Parts = ParseWhole("--parts", opts.at("--parts"));
        if (request.Parts < 1) {
            Fail(BadStep, "--parts takes a number of parts from 1 on");
        }
    } else if (opts.count("--labels")) {
        request.Method = TMethod::Labels;
        request.Labels = opts.at("--labels");
    } else {
        const bool bySize = opts.count("--size") != 0;
        const std::optional<int64_t> step =
            bySize ? SizeStepBytes(ParseWhole("--size", opts.at("--size")))
                   : TimeStepMs(ParseWhole("--every", opts.at("--every")));
        if (!step) {
            Fail(BadStep, "the split step must be at least 1 and not larger than the longest time");
        }
        request.Method = bySize ? TMethod::Size : TMethod::Every;
        (bySize ? request.StepBytes : request.StepMs) = *step;
        if (opts.count("--adjust")) {
            request.AdjustMs = int64_t(ParseNumber(opts, "--adjust", 0.0) * 1000);
        }
    }
    return request;
}

// Why a plan could not be made, in the tool's words.
[[noreturn]] void FailPlan(const TSplitPlan &plan, const TSplitRequest &request,
                           const std::vector<std::string> &atTexts, TSource &in)
{
    const std::string end = FormatMs("nn:ss.zzz", in.LengthMs());
    const fs::path &file = in.Stream->FileName();
    switch (plan.Status) {
    case TSplitPlan::TStatus::PointTwice:
        Fail(EmptyRange,
             "the cut point " + atTexts[plan.Point] + " is given twice or lies at an end");
    case TSplitPlan::TStatus::PointOutside:
        Fail(EmptyRange, "the cut point " + atTexts[plan.Point] +
                             " lies outside the audio (00:00.000 to " + end + ")");
    case TSplitPlan::TStatus::CueFault:
        Fail(InputUnreadable,
             plan.Cue.Line > 0
                 ? "bad CUE sheet " + Quoted(request.Cue) + ", line " +
                       std::to_string(plan.Cue.Line) + ": " + plan.Cue.Reason
                 : "cannot use the CUE sheet " + Quoted(request.Cue) + ": " + plan.Cue.Reason);
    case TSplitPlan::TStatus::CueOutside:
        Fail(EmptyRange,
             "every track of the CUE sheet starts after the end of the audio (" + end + ")");
    case TSplitPlan::TStatus::LabelsFault:
        Fail(InputUnreadable, plan.LabelsRead.Line > 0
                                  ? "bad label file " + Quoted(request.Labels) + ", line " +
                                        std::to_string(plan.LabelsRead.Line) + ": " +
                                        plan.LabelsRead.Reason
                                  : "cannot use the label file " + Quoted(request.Labels) + ": " +
                                        plan.LabelsRead.Reason);
    case TSplitPlan::TStatus::LabelsOutside:
        Fail(EmptyRange, "every label starts after the end of the audio (" + end + ")");
    case TSplitPlan::TStatus::NoChapters:
        Fail(EmptyRange, plan.Tracks == 0 ? Quoted(file) + " has no chapters"
                                          : "every chapter of " + Quoted(file) +
                                                " starts after the end of the audio (" + end + ")");
    case TSplitPlan::TStatus::Undecodable:
        Fail(InputUnreadable, "cannot decode " + Quoted(file) + ": " + plan.Reason);
    case TSplitPlan::TStatus::NoSilence: {
        char limits[96];
        std::snprintf(limits, sizeof limits, "%.1f s under %.1f dB",
                      double(request.Silence.MinSilenceMs) / 1000, request.Silence.ThresholdDb);
        Fail(EmptyRange, "no silence of " + std::string(limits) + " to cut at in " + Quoted(file));
    }
    default:
        Fail(BadStep, "the split step must be at least 1 and not larger than the longest time");
    }
}

// The segments asked for, planned as the Split page plans them.
TSegmentList Segments(const TOptions &opts, TSource &in)
{
    std::vector<std::string> atTexts;
    const TSplitRequest request = Request(opts, atTexts, in.LengthMs());
    TSplitPlan plan = PlanSplit(in, request);
    if (plan.Cue.Sheet) {
        NoteOn(plan.Cue.Sheet->Note);
    }
    if (plan.Status != TSplitPlan::TStatus::Planned) {
        FailPlan(plan, request, atTexts, in);
    }
    if (plan.TracksLeftOut > 0) {
        NoteOn(std::to_string(plan.TracksLeftOut) + " of the " + std::to_string(plan.Tracks) +
               (request.Method == TSplitRequest::TMethod::Cue      ? " tracks of the CUE sheet"
                : request.Method == TSplitRequest::TMethod::Labels ? " labels"
                                                                   : " chapters") +
               " start after the end of the audio (" + FormatMs("nn:ss.zzz", in.LengthMs()) +
               ") and are left out");
    }
    return std::move(plan.List);
}

// --export-labels and --export-cue: the plan written as lists, no part written.
int ExportPlan(const TOptions &opts, const TSegmentList &plan, TSource &in, const TPartTag &given)
{
    TPartTag album =
        SourceTexts(ReadSourceTags(*in.Stream, in.Hdr.AudioStart)).value_or(TPartTag{});
    if (!given.Artist.empty()) {
        album.Artist = given.Artist;
    }
    if (!given.Album.empty()) {
        album.Album = given.Album;
    }
    const std::pair<const char *, std::string> lists[] = {
        {"--export-labels", opts.count("--export-labels") ? LabelsText(plan.Rows()) : ""},
        {"--export-cue",
         opts.count("--export-cue") ? CueText(plan.Rows(), in.Stream->FileName(), album) : ""}};
    for (const auto &[option, text] : lists) {
        if (!opts.count(option)) {
            continue;
        }
        try {
            WriteListFile(opts.at(option), text);
        } catch (const EStreamError &e) {
            Fail(WriteFailed, "cannot write " + Quoted(opts.at(option)) + ": " + e.what());
        }
        Out() << opts.at(option) << "\n";
        Report()["lists"].Push(opts.at(option));
    }
    return Ok;
}

} // namespace

// One input's split (see Split); progress is shown for a single input only.
int SplitOne(const fs::path &input, const TOptions &opts, bool single)
{
    TPartTag tag;
    auto text = [&](const char *name) { return opts.count(name) ? opts.at(name) : std::string(); };
    tag.Title = text("--title");
    tag.Artist = text("--artist");
    tag.Album = text("--album");
    tag.Year = text("--year");
    tag.Comment = text("--comment");
    if (opts.count("--genre")) {
        tag.GenreID = ParseGenre(opts.at("--genre"));
    }
    for (const char *option : {"-d", "-n"}) {
        if (opts.count(option) && (opts.at(option) == "-" || IsStandardOutput(opts.at(option)))) {
            Fail(UsageError, "split writes its parts as files, not to standard output (" +
                                 std::string(option) + " " + opts.at(option) + ")");
        }
    }
    TSource in;
    OpenInput(input, in);
    const fs::path folder = opts.count("-d")          ? fs::path(WithBaseName(opts.at("-d"), input))
                            : input.has_parent_path() ? input.parent_path()
                                                      : fs::path(".");
    const std::string base =
        opts.count("-n") ? WithBaseName(opts.at("-n"), input) : input.stem().string();
    const TSegmentList plan = Segments(opts, in);
    if (opts.count("--export-labels") || opts.count("--export-cue")) {
        return ExportPlan(opts, plan, in, tag);
    }
    TSplitJob job = SplitJobOf(plan, input, folder, base, tag);
    job.DryRun = opts.count("--dry-run") != 0;
    MakeFolder(folder, job.DryRun);
    job.WholeFrames = opts.count("--frames") != 0;
    job.Tags = opts.count("--no-tags") != 0 ? TTagFrames::None : TTagFrames::All;
    job.ReplaceReadOnly = opts.count("--force") != 0;
    job.Level = LevelRequest(opts);

    const bool showProgress = single && !job.DryRun && !opts.count("--quiet") && isatty(2);
    const TJobOutcome o = RunSplit(in, job, [&](size_t done, size_t total) {
        if (showProgress) {
            std::fprintf(stderr, "\rsplit: part %zu of %zu", done, total);
            std::fflush(stderr);
        }
        return true;
    });
    if (showProgress) {
        std::fprintf(stderr, "\n");
    }
    NoteOn(o.TagNote);
    NoteOn(o.StreamNote);
    NoteLevel(o, job.Level);
    PrintPlan(o, job.DryRun);
    for (const auto &part : o.Written) {
        Out() << part.string() << "\n";
    }
    if (o.Status != TJobStatus::Done && !o.Written.empty()) {
        Err() << "mp3cut: " << o.Written.size() << " of " << o.Planned << " parts written\n";
    }
    FailOn(o);
    return Ok;
}

int Split(const TArgs &args, const TOptions &opts)
{
    if (args.empty()) {
        Fail(UsageError, "split takes a file, or several");
    }
    return ForEachInput(args, opts, [&](const std::string &input) {
        return SplitOne(input, opts, args.size() == 1);
    });
}

namespace {

// --from-parts: the parts of a split of the whole file, in turn, each a row from where the
// parts before it end for as long as it plays, with its own texts.
std::vector<TSegment> PartRows(TSource &whole, const std::vector<fs::path> &parts)
{
    const int64_t rate = whole.Hdr.SampleRate;
    const auto ms = [&](int64_t samples) { return RoundHalfEven(samples * 1000, rate); };
    std::vector<TSegment> rows;
    int64_t samples = 0;
    for (const fs::path &path : parts) {
        TSource part;
        OpenInput(path, part);
        if (part.StreamCount() > 1 || part.Hdr.SampleRate != rate) {
            Fail(UsageError, Quoted(path) + " is not a part of " +
                                 Quoted(whole.Stream->FileName()) +
                                 ": it is not of the same sample rate, or holds several streams");
        }
        TSegment row;
        row.StartMs = ms(samples);
        samples += part.Hdr.PlayedSamples();
        row.EndMs = ms(samples);
        row.Tag = SourceTexts(ReadSourceTags(*part.Stream, part.Hdr.AudioStart));
        rows.push_back(row);
    }
    if (samples > whole.Hdr.PlayedSamples() + whole.Hdr.SamplesPerFrame) {
        Fail(UsageError, "the parts play " + FormatMs("nn:ss.zzz", rows.back().EndMs) +
                             ", longer than " + Quoted(whole.Stream->FileName()) + " (" +
                             FormatMs("nn:ss.zzz", whole.LengthMs()) + "): they are not its parts");
    }
    return rows;
}

int WriteChaptersOf(const fs::path &input, const std::vector<fs::path> &parts,
                    const TOptions &opts);

} // namespace

int WriteChapters(const TArgs &args, const TOptions &opts)
{
    const bool fromParts = opts.count("--from-parts") != 0;
    if (fromParts ? args.size() < 2 : args.size() != 1) {
        Fail(UsageError, fromParts ? "chapters --from-parts takes the file and its parts"
                                   : "chapters takes one file");
    }
    if (!opts.count("-o")) {
        Fail(UsageError, "chapters writes one file: name it with -o OUT");
    }
    const std::vector<fs::path> parts(args.begin() + 1, args.end());
    return ForEachInput({args[0]}, opts, [&](const std::string &input) {
        return WriteChaptersOf(input, parts, opts);
    });
}

namespace {

int WriteChaptersOf(const fs::path &input, const std::vector<fs::path> &parts, const TOptions &opts)
{
    std::vector<std::string> titles; // one a line, in order
    if (opts.count("--titles")) {
        std::ifstream file(opts.at("--titles"));
        if (!file) {
            Fail(InputUnreadable, "cannot read the titles in " + Quoted(opts.at("--titles")));
        }
        for (std::string line; std::getline(file, line);) {
            titles.push_back(line.substr(0, line.find_last_not_of("\r") + 1));
        }
    }
    TSource in;
    OpenInput(input, in);
    if (!parts.empty() && opts.count("--at") + opts.count("--every") + opts.count("--size") +
                                  opts.count("--silence") + opts.count("--cue") +
                                  opts.count("--chapters") + opts.count("--labels") +
                                  opts.count("--parts") >
                              0) {
        Fail(UsageError, "--from-parts takes the chapters from the parts, and no other method");
    }
    TCutJob job = ChaptersJobOf(parts.empty() ? Segments(opts, in).Rows() : PartRows(in, parts),
                                input, opts.at("-o"), titles);
    job.ReplaceReadOnly = opts.count("--force") != 0;
    const TJobOutcome o = RunCut(in, job);
    NoteOn(o.TagNote);
    NoteOn(o.StreamNote);
    Report()["chapters_written"] = ChaptersJson(job.Chapters.value_or(std::vector<TChapter>{}));
    PrintPlan(o, false);
    FailOn(o);
    Out() << job.Output.string() << "\n";
    return Ok;
}

} // namespace

int VerifyAgainst(const fs::path &source, const std::vector<fs::path> &outputs,
                  const TOptions &opts);

int VerifyOutputs(const TArgs &args, const TOptions &opts)
{
    if (args.size() < 2) {
        Fail(UsageError, "verify takes the source and its outputs");
    }
    return ForEachInput({args[0]}, opts, [&](const std::string &source) {
        return VerifyAgainst(source, std::vector<fs::path>(args.begin() + 1, args.end()), opts);
    });
}

namespace {

// What verify tells of an output, for a script.
TJson VerifiedJson(const TVerified &v)
{
    TJson j = TJson::Object();
    j["file"] = v.File.string();
    j["exact"] = v.Exact();
    j["expected_samples"] = v.Expected;
    j["found_samples"] = v.Found;
    j["from_sample"] = v.From;
    if (!v.Error.empty()) {
        j["error"] = v.Error;
    }
    if (v.FirstDifference) {
        j["first_difference"] = *v.FirstDifference;
        j["channel"] = v.Channel + 1;
        j["largest_difference"] = v.Largest;
    }
    return j;
}

} // namespace

int VerifyAgainst(const fs::path &source, const std::vector<fs::path> &outputs,
                  const TOptions &opts)
{
    TSource in;
    OpenInput(source, in);
    const int64_t from =
        opts.count("--from") ? ParseTime(opts.at("--from"), "--from", in.LengthMs()) : 0;
    const TVerifyReport r = Verify(source, outputs, from);
    if (!r.Error.empty()) {
        Fail(InputUnreadable, "cannot decode " + Quoted(source) + ": " + r.Error);
    }
    const auto time = [&](int64_t sample) {
        return FormatMs("nn:ss.zzz", sample * 1000 / std::max<long>(1, r.Rate));
    };
    bool exact = true;
    for (const TVerified &v : r.Outputs) {
        exact = exact && v.Exact();
        Report()["outputs"].Push(VerifiedJson(v));
        Out() << v.File.string() << ": ";
        if (!v.Error.empty()) {
            Out() << "cannot decode: " << v.Error << "\n";
        } else if (v.Exact()) {
            Out() << "exact, " << v.Found << " samples from " << time(v.From) << "\n";
        } else {
            Out() << "differs: " << v.Expected << " samples expected, " << v.Found << " found";
            if (v.FirstDifference) {
                Out() << "; the first difference at sample " << *v.FirstDifference << " ("
                      << time(*v.FirstDifference) << ", channel " << v.Channel + 1
                      << "), the largest " << v.Largest;
            }
            Out() << "\n";
        }
    }
    if (outputs.size() > 1) {
        Report()["in_turn"] = exact;
        Out() << (exact ? "played in turn they are " : "played in turn they are not ")
              << source.string() << " from " << time(r.FromSample) << " to " << time(r.EndSample)
              << (r.EndSample == r.SourceSamples ? ", its end" : "") << "\n";
    }
    return exact ? Ok : NotExact;
}

// mp3cut split: the segments asked for by each method, laid as the Split page lays them, and
// the run that writes them.
#include "Command.h"

#include "jobs/SplitJob.h"
#include "plan/SegmentList.h"
#include "plan/SilenceScan.h"
#include "plan/SplitPlan.h"
#include "plan/TimeText.h"
#include "tags/MP3TAG.h"
#include "tags/TextCodec.h"

#include <cmath>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

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

// A number option's value, or the fallback when it is not given.
double ParseNumber(const TOptions &opts, const char *option, double fallback)
{
    if (!opts.count(option)) {
        return fallback;
    }
    const std::string &text = opts.at(option);
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || std::abs(value) > 1e6) {
        Fail(UsageError, std::string(option) + " takes a number, not '" + text + "'");
    }
    return value;
}

// The silences of the input, found with the options given (--threshold, --min-silence,
// --min-part), which go into silence.
TSilenceScan ScanSilences(const TOptions &opts, TSource &in, TSilenceOptions &silence)
{
    silence.ThresholdDb = ParseNumber(opts, "--threshold", silence.ThresholdDb);
    silence.MinSilenceMs = int64_t(ParseNumber(opts, "--min-silence", 1.0) * 1000);
    silence.MinPartMs = int64_t(ParseNumber(opts, "--min-part", 0.0) * 1000);
    TSilenceScan scan = FindSilences(in.Stream->FileName(), silence);
    if (!scan.Error.empty()) {
        Fail(InputUnreadable, "cannot decode " + Quoted(in.Stream->FileName()) + ": " + scan.Error);
    }
    return scan;
}

// The segments asked for, laid as the Split page lays them.
TSegmentList Segments(const TOptions &opts, TSource &in)
{
    const int methods = int(opts.count("--at") + opts.count("--every") + opts.count("--size") +
                            opts.count("--silence") + opts.count("--cue"));
    if (methods != 1) {
        Fail(UsageError, "split takes one of --at, --every, --size, --silence and --cue");
    }
    if (opts.count("--adjust") && !opts.count("--every")) {
        Fail(UsageError, "--adjust moves the points of --every");
    }
    TSegmentList list;
    const int64_t length = in.LengthMs();
    list.Reset(length, std::min(length, in.LastCutMs()));
    if (opts.count("--at")) {
        const std::string &at = opts.at("--at");
        size_t from = 0;
        while (from <= at.size()) {
            const size_t comma = std::min(at.find(',', from), at.size());
            const std::string text = at.substr(from, comma - from);
            switch (list.AddCut(ParseTime(text)).What) {
            case TSegmentList::TAdd::Added:
                break;
            case TSegmentList::TAdd::Exists:
                Fail(EmptyRange, "the cut point " + text + " is given twice or lies at an end");
            case TSegmentList::TAdd::Outside:
                Fail(EmptyRange, "the cut point " + text +
                                     " lies outside the audio (00:00.000 to " +
                                     FormatMs("nn:ss.zzz", length) + ")");
            }
            from = comma + 1;
        }
        return list;
    }
    if (opts.count("--cue")) {
        const fs::path cue = opts.at("--cue");
        const TCueRead read = ReadCueSheet(cue, in.Stream->FileName());
        if (!read.Sheet) {
            Fail(InputUnreadable,
                 read.Line > 0 ? "bad CUE sheet " + Quoted(cue) + ", line " +
                                     std::to_string(read.Line) + ": " + read.Reason
                               : "cannot use the CUE sheet " + Quoted(cue) + ": " + read.Reason);
        }
        NoteOn(read.Sheet->Note);
        const size_t tracks = read.Sheet->Tracks.size();
        const size_t outside = list.PlanTracks(read.Sheet->Tracks);
        const std::string end = FormatMs("nn:ss.zzz", length);
        if (outside == tracks) {
            Fail(EmptyRange,
                 "every track of the CUE sheet starts after the end of the audio (" + end + ")");
        }
        if (outside > 0) {
            NoteOn(std::to_string(outside) + " of the " + std::to_string(tracks) +
                   " tracks of the CUE sheet start after the end of the audio (" + end +
                   ") and are left out");
        }
        return list;
    }
    if (opts.count("--silence")) {
        TSilenceOptions silence;
        const TSilenceScan scan = ScanSilences(opts, in, silence);
        const std::vector<int64_t> points = SilenceCutPoints(scan, silence);
        if (points.empty()) {
            char limits[96];
            std::snprintf(limits, sizeof limits, "%.1f s under %.1f dB",
                          double(silence.MinSilenceMs) / 1000, silence.ThresholdDb);
            Fail(EmptyRange, "no silence of " + std::string(limits) + " to cut at in " +
                                 Quoted(in.Stream->FileName()));
        }
        if (!opts.count("--trim")) {
            list.PlanTimes(points);
            return list;
        }
        for (const TSilence &q : SilencesLeftOut(scan, points)) {
            list.LeaveOut(q.StartMs, q.EndMs);
        }
        return list;
    }
    // A size step cuts at the frame boundaries nearest to every so many bytes, VBR or not.
    const bool bySize = opts.count("--size") != 0;
    const std::optional<int64_t> step = bySize
                                            ? SizeStepBytes(ParseWhole("--size", opts.at("--size")))
                                            : TimeStepMs(ParseWhole("--every", opts.at("--every")));
    if (!step) {
        Fail(BadStep, "the split step must be at least 1 and not larger than the longest time");
    }
    if (bySize) {
        list.PlanTimes(in.SizeCutTimes(0, length, *step));
    } else if (opts.count("--adjust")) {
        // Each point moves to the nearest silence within so many seconds of it.
        TSilenceOptions silence;
        const TSilenceScan scan = ScanSilences(opts, in, silence);
        const auto within = int64_t(ParseNumber(opts, "--adjust", 0.0) * 1000);
        list.PlanTimes(AdjustToSilences(PlanCutPoints(0, length, *step), scan, within));
    } else {
        list.Plan(0, length, *step);
    }
    return list;
}

} // namespace

int Split(const TArgs &args, const TOptions &opts)
{
    if (args.size() != 1) {
        Fail(UsageError, "split takes one file");
    }
    const fs::path input = args[0];
    TPartTag tag;
    auto text = [&](const char *name) {
        return opts.count(name) ? Utf8ToGB18030(opts.at(name)) : std::string();
    };
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
    const fs::path folder = opts.count("-d")          ? fs::path(opts.at("-d"))
                            : input.has_parent_path() ? input.parent_path()
                                                      : fs::path(".");
    const std::string base = opts.count("-n") ? opts.at("-n") : input.stem().string();
    TSplitJob job = SplitJobOf(Segments(opts, in), input, folder, base, tag);
    job.WholeFrames = opts.count("--frames") != 0;
    job.Tags = opts.count("--no-tags") != 0 ? TTagFrames::None : TTagFrames::All;
    job.ReplaceReadOnly = opts.count("--force") != 0;

    const bool showProgress = !opts.count("--quiet") && isatty(2);
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
    for (const auto &part : o.Written) {
        std::cout << part.string() << "\n";
    }
    if (o.Status != TJobStatus::Done && !o.Written.empty()) {
        std::cerr << "mp3cut: " << o.Written.size() << " of " << o.Planned << " parts written\n";
    }
    FailOn(o);
    return Ok;
}

// mp3cut: the cutter's core on the command line, for folders of long recordings.
#include "CutJob.h"
#include "Errors.h"
#include "MP3TAG.h"
#include "OutputFile.h"
#include "SegmentList.h"
#include "SilenceScan.h"
#include "SplitJob.h"
#include "SplitPlan.h"
#include "TextCodec.h"
#include "TimeText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace fs = std::filesystem;

namespace {

// Exit statuses, one for each kind of failure.
enum Status
{
    Ok = 0,
    UsageError = 2,
    InputUnreadable = 3,
    NoAudio = 4,
    EmptyRange = 5,
    BadStep = 6,
    OutputUnwritable = 7,
    OutputIsInput = 8,
    WriteFailed = 9,
    CrossesStreams = 10,
};

struct Failure
{
    Status status;
    std::string message;
};

constexpr const char *Usage = R"(usage:
  mp3cut info FILE
  mp3cut cut FILE START END [-o OUT|-] [--frames] [--no-tags] [--force]
  mp3cut split FILE (--at T1,T2,... | --every SECONDS | --size KB | --silence | --cue SHEET)
               [-d DIR] [-n BASE]
               [--threshold DB] [--min-silence SECONDS] [--min-part SECONDS] [--trim]
               [--adjust SECONDS (with --every)]
               [--title T] [--artist A] [--album B] [--year Y] [--comment C]
               [--genre NAME|NUMBER] [--frames] [--no-tags] [--force] [--quiet]

Times are minutes:seconds.milliseconds, e.g. 12:30.000 (the last piece counts milliseconds).
Outputs hold exactly the samples of their range as a gapless player plays them; --frames
writes the whole frames that start in it instead. Outputs carry the source's tags (ID3v2 with
its pictures, as ID3v2.4, and ID3v1); parts are numbered n/N and take the texts given for
them; --no-tags writes none.
--silence cuts in the middle of every stretch quieter than --threshold (default -48 dB) for
at least --min-silence seconds (default 1); --min-part merges shorter parts into the one before.
--trim leaves those silences out of the parts. --every S --adjust N moves each point to the middle of the nearest such silence within N s.
--cue cuts at the tracks' INDEX 01 and gives each part its track's texts.
-o - (or a name of standard output) writes the cut to standard output. A read-only file of
an output's name is kept unless --force is given.
-n BASE names the parts BASE000.mp3, BASE001.mp3, ...; a BASE with @n (track number from 01),
@t (title), @p (artist) or @a (album) is a pattern instead, e.g. -n "@n - @t".
Exit status: 2 usage, 3 unreadable input, 4 no MPEG audio, 5 empty range, 6 bad step,
7 output folder not writable, 8 output is the input, 9 write failed, 10 the range runs over a
change of format (a file of two encodes put end to end).
)";

[[noreturn]] void Fail(Status status, const std::string &message)
{
    throw Failure{status, message};
}

std::string Quoted(const fs::path &path)
{
    return "'" + path.string() + "'";
}

// The words for an outcome that is not a success; every message of a job is made here.
std::string OutcomeMessage(const TJobOutcome &o)
{
    const std::string file = Quoted(o.File);
    switch (o.Status) {
    case TJobStatus::InputUnreadable:
    case TJobStatus::ReadFailed:
        return "cannot read " + file + ": " + o.Reason;
    case TJobStatus::NoAudio:
        return "no MPEG audio in " + file + ": " + o.Reason;
    case TJobStatus::EmptyRange:
        return "no audio lies in the range (the file lasts " + FormatMs("nn:ss.zzz", o.AudioMs) +
               ")";
    case TJobStatus::OutputIsInput:
        return "the output " + file + " is the input itself";
    case TJobStatus::FolderUnwritable:
        return "cannot write to the folder " + file + ": " + o.Reason;
    case TJobStatus::NameIsFolder:
        return "cannot write " + file + ": a folder has that name";
    case TJobStatus::NotAFile:
        return "cannot write " + file + ": it is " + o.Reason + ", not a regular file";
    case TJobStatus::ReadOnlyFile:
        return "cannot write " + file + ": the file is read-only (--force replaces it)";
    case TJobStatus::CrossesStreams:
        return "the range runs over a change of format at " + o.Reason +
               ": cut each side on its own";
    case TJobStatus::SameName:
        return "two parts would be named " + file + " (put @n in the name)";
    case TJobStatus::WriteFailed:
        return "cannot write " + file + ": " + o.Reason;
    case TJobStatus::Done:
    case TJobStatus::Stopped:
        break;
    }
    return {};
}

Status ExitStatus(TJobStatus status)
{
    switch (status) {
    case TJobStatus::Done:
    case TJobStatus::Stopped:
        return Ok;
    case TJobStatus::InputUnreadable:
    case TJobStatus::ReadFailed:
        return InputUnreadable;
    case TJobStatus::NoAudio:
        return NoAudio;
    case TJobStatus::EmptyRange:
        return EmptyRange;
    case TJobStatus::OutputIsInput:
        return OutputIsInput;
    case TJobStatus::FolderUnwritable:
        return OutputUnwritable;
    case TJobStatus::SameName:
        return UsageError;
    case TJobStatus::CrossesStreams:
        return CrossesStreams;
    case TJobStatus::NameIsFolder:
    case TJobStatus::NotAFile:
    case TJobStatus::ReadOnlyFile:
    case TJobStatus::WriteFailed:
        return WriteFailed;
    }
    return WriteFailed;
}

void FailOn(const TJobOutcome &o)
{
    if (o.Status != TJobStatus::Done && o.Status != TJobStatus::Stopped) {
        Fail(ExitStatus(o.Status), OutcomeMessage(o));
    }
}

// The input's facts for planning; the failures are the jobs' own.
// A tag of the input left out of the outputs: the audio is written all the same.
void NoteOn(const std::string &note)
{
    if (!note.empty()) {
        std::cerr << "mp3cut: note: " << note << "\n";
    }
}

void OpenInput(const fs::path &path, TJobInput &input)
{
    TJobOutcome o;
    if (!OpenJobInput(path, input, o)) {
        FailOn(o);
    }
}

int64_t ParseTime(const std::string &text)
{
    try {
        return TimeTextToMs(text);
    } catch (const EConvertError &e) {
        Fail(UsageError,
             "bad time '" + text + "': " + e.what() + " (use minutes:seconds.milliseconds)");
    }
}

int64_t ParseWhole(const std::string &option, const std::string &text)
{
    int32_t value = 0;
    if (!TryStrToInt(text, value)) {
        Fail(UsageError, option + " takes a whole number, not '" + text + "'");
    }
    return value;
}

int Info(const std::vector<std::string> &args)
{
    if (args.size() != 1) {
        Fail(UsageError, "info takes one file");
    }
    TJobInput in;
    OpenInput(args[0], in);
    TMPEGAFHdr &h = in.Hdr;
    static const char *VersionNames[] = {"reserved", "MPEG-1", "MPEG-2", "MPEG-2.5"};
    std::cout << "file: " << args[0] << "\n"
              << "version: " << VersionNames[h.MPEGVersion] << "\n"
              << "layer: " << h.Layer << "\n"
              << "bitrate: " << h.Bitrate << " kbps" << (h.VBR ? " (average)" : "") << "\n"
              << "sample rate: " << h.SampleRate << " Hz\n"
              << "frame length: " << h.FrameLength << " bytes\n"
              << "frame count: " << h.FrameCount << "\n"
              << "duration: " << FormatMs("nn:ss.zzz", in.LengthMs()) << "\n"
              << "encoding: " << (h.VBR ? "VBR" : "CBR") << "\n";
    // A file of several streams: each with its format, where it starts and how long it plays.
    for (size_t k = 0; in.StreamCount() > 1 && k < in.StreamCount(); ++k) {
        const TMPEGAFHdr &s = in.StreamHdr(k);
        std::cout << "stream " << k + 1 << ": " << VersionNames[s.MPEGVersion] << " Layer "
                  << s.Layer << ", " << s.SampleRate << " Hz, "
                  << (s.ChannelMode == 3 ? "mono" : "stereo") << ", " << s.Bitrate << " kbps "
                  << (s.VBR ? "VBR" : "CBR") << ", from "
                  << FormatMs("nn:ss.zzz", in.StreamStartMs(k)) << ", "
                  << FormatMs("nn:ss.zzz", s.PlayedMs()) << " long\n";
    }
    // Bytes among the frames that are no frame: stepped over, never copied.
    std::vector<TByteRange> junk;
    for (size_t k = 0; k < in.StreamCount(); ++k) {
        const std::vector<TByteRange> own = in.StreamHdr(k).FindJunk(*in.Stream);
        junk.insert(junk.end(), own.begin(), own.end());
    }
    for (size_t i = 0; i < junk.size() && i < 20; ++i) {
        std::cout << "junk: " << junk[i].End - junk[i].Start << " bytes at byte " << junk[i].Start
                  << ", skipped\n";
    }
    if (junk.size() > 20) {
        int64_t more = 0;
        for (size_t i = 20; i < junk.size(); ++i) {
            more += junk[i].End - junk[i].Start;
        }
        std::cout << "junk: " << more << " bytes more in " << junk.size() - 20
                  << " places, skipped\n";
    }
    const TSourceTags tags = ReadSourceTags(*in.Stream, h.AudioStart);
    NoteOn(tags.Note);
    const std::optional<TPartTag> texts = SourceTexts(tags);
    if (!texts) {
        std::cout << "tag: none\n";
        return Ok;
    }
    std::string kinds = tags.Id3v2Texts ? "ID3v2" : "";
    if (tags.Id3v1) {
        kinds += kinds.empty() ? "ID3v1" : ", ID3v1";
    }
    const TPartTag &t = *texts;
    std::cout << "tag: " << kinds << "\n"
              << "title: " << GB18030ToUtf8(t.Title) << "\n"
              << "artist: " << GB18030ToUtf8(t.Artist) << "\n"
              << "album: " << GB18030ToUtf8(t.Album) << "\n"
              << "year: " << GB18030ToUtf8(t.Year) << "\n"
              << "comment: " << GB18030ToUtf8(t.Comment) << "\n"
              << "genre: "
              << (t.GenreID < GenreNames.size() ? std::string(GenreNames[t.GenreID]) : "Unknown")
              << " (" << int(t.GenreID) << ")\n";
    static const char *PictureTypes[] = {
        "other",         "file icon",          "other file icon", "front cover",
        "back cover",    "leaflet page",       "media",           "lead artist",
        "artist",        "conductor",          "band",            "composer",
        "lyricist",      "recording location", "during recording", "during performance",
        "screen capture", "bright fish",       "illustration",    "band logo",
        "publisher logo"};
    for (const TPictureInfo &p : tags.Pictures) {
        const bool named = p.Type >= 0 && p.Type < int(std::size(PictureTypes));
        std::cout << "picture: " << (named ? PictureTypes[p.Type] : "other") << ", "
                  << p.MimeType << ", " << p.Bytes << " bytes\n";
    }
    return Ok;
}

int Cut(const std::vector<std::string> &args, const std::map<std::string, std::string> &opts)
{
    if (args.size() != 3) {
        Fail(UsageError, "cut takes FILE START END");
    }
    TCutJob job;
    job.Input = args[0];
    job.StartMs = ParseTime(args[1]);
    job.EndMs = ParseTime(args[2]);
    job.Output = opts.count("-o") ? fs::path(opts.at("-o")) : DefaultCutName(job.Input);
    job.WholeFrames = opts.count("--frames") != 0;
    job.KeepTags = opts.count("--no-tags") == 0;
    job.ReplaceReadOnly = opts.count("--force") != 0;
    // "-o -", or a name of what standard output already writes to (/dev/stdout, a file it
    // appends to): the bytes go out through it, in order, and nothing is replaced.
    job.ToStandardOutput = job.Output == "-" || IsStandardOutput(job.Output);
    const TJobOutcome o = RunCut(job);
    NoteOn(o.TagNote);
    NoteOn(o.StreamNote);
    if (o.Status == TJobStatus::EmptyRange) {
        if (std::max<int64_t>(job.StartMs, 0) >= *job.EndMs) {
            Fail(EmptyRange, "the range " + args[1] + " to " + args[2] + " is empty");
        }
        Fail(EmptyRange, "no audio lies between " + args[1] + " and " + args[2] +
                             " (the file lasts " + FormatMs("nn:ss.zzz", o.AudioMs) + ")");
    }
    FailOn(o);
    if (!job.ToStandardOutput) {
        std::cout << job.Output.string() << "\n";
    }
    return Ok;
}

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
double ParseNumber(const std::map<std::string, std::string> &opts, const char *option,
                   double fallback)
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
TSilenceScan ScanSilences(const std::map<std::string, std::string> &opts, TJobInput &in,
                          TSilenceOptions &silence)
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
TSegmentList Segments(const std::map<std::string, std::string> &opts, TJobInput &in)
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
            Fail(EmptyRange, "every track of the CUE sheet starts after the end of the audio (" +
                                 end + ")");
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

int Split(const std::vector<std::string> &args, const std::map<std::string, std::string> &opts)
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
    TJobInput in;
    OpenInput(input, in);
    const fs::path folder = opts.count("-d")          ? fs::path(opts.at("-d"))
                            : input.has_parent_path() ? input.parent_path()
                                                      : fs::path(".");
    const std::string base = opts.count("-n") ? opts.at("-n") : input.stem().string();
    TSplitJob job = Segments(opts, in).Job(input, folder, base, tag);
    job.WholeFrames = opts.count("--frames") != 0;
    job.Tags = opts.count("--no-tags") != 0 ? TTagFrames::None : TTagFrames::All;
    job.ReplaceReadOnly = opts.count("--force") != 0;
    in.Stream.reset();

    const bool showProgress = !opts.count("--quiet") && isatty(2);
    const TJobOutcome o = RunSplit(job, [&](size_t done, size_t total) {
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

int Run(int argc, char **argv)
{
    if (argc < 2) {
        std::cerr << Usage;
        return UsageError;
    }
    if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
        std::cout << Usage;
        return Ok;
    }
    const std::string command = argv[1];
    static const std::vector<std::string> WithValue = {"-o",      "-d",     "-n",        "--at",
                                                       "--every", "--size", "--title",   "--artist",
                                                       "--album", "--year", "--comment", "--genre",
                                                       "--threshold", "--min-silence", "--min-part",
                                                       "--adjust", "--cue"};
    std::vector<std::string> args;
    std::map<std::string, std::string> opts;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (std::find(WithValue.begin(), WithValue.end(), a) != WithValue.end()) {
            if (i + 1 >= argc) {
                Fail(UsageError, a + " needs a value");
            }
            opts[a] = argv[++i];
        } else if (a == "--quiet" || a == "--frames" || a == "--no-tags" || a == "--silence" ||
                   a == "--trim" || a == "--force") {
            opts[a] = "";
        } else if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9')) {
            Fail(UsageError, "unknown option " + a);
        } else {
            args.push_back(a);
        }
    }
    if (command == "info") {
        return Info(args);
    }
    if (command == "cut") {
        return Cut(args, opts);
    }
    if (command == "split") {
        return Split(args, opts);
    }
    Fail(UsageError, "unknown command '" + command + "'");
}

} // namespace

int main(int argc, char **argv)
{
#ifdef __GLIBC__
    // A run is short and its large blocks (a tag with its cover, as TagLib reads and renders it
    // several times over) come and go: kept in the heap, each is made on memory already in use
    // instead of on new pages the system must clear first.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
    RemoveTemporariesOnSignals();
    try {
        return Run(argc, argv);
    } catch (const Failure &f) {
        std::cerr << "mp3cut: " << f.message << "\n";
        if (f.status == UsageError) {
            std::cerr << "Try 'mp3cut --help'.\n";
        }
        return f.status;
    } catch (const Exception &e) {
        std::cerr << "mp3cut: " << e.what() << "\n";
        return WriteFailed;
    }
}

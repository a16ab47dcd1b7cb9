// mp3cut: the cutter's core on the command line, for folders of long recordings.
#include "Command.h"
#include "Report.h"
#include "io/Errors.h"
#include "io/OutputFile.h"
#include "jobs/CutJob.h"
#include "plan/TimeText.h"
#include "tags/MP3TAG.h"
#include "tags/OutputTags.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

constexpr const char *Usage = R"(usage:
  mp3cut --version
  mp3cut info FILE...
  mp3cut cut FILE... START END [-o OUT|-] [--frames] [--no-tags] [--force] [--jobs N]
             [--dry-run]
  mp3cut split FILE... (--at T1,T2,... | --every SECONDS | --parts N | --size KB | --silence |
                    --cue SHEET | --chapters | --labels FILE)
                    [--export-labels FILE] [--export-cue FILE]
               [-d DIR] [-n BASE]
               [--threshold DB] [--min-silence SECONDS] [--min-part SECONDS] [--trim]
               [--adjust SECONDS (with --every)]
               [--title T] [--artist A] [--album B] [--year Y] [--comment C]
               [--genre NAME|NUMBER] [--frames] [--no-tags] [--force] [--quiet] [--jobs N]
               [--dry-run]
  mp3cut chapters FILE (any method of split | --from-parts PART...) -o OUT [--titles FILE]
                [--force]
  mp3cut verify SRC OUT... [--from T]
Level, on cut and split (Layer III): [--gain DB] [--fade-in MS] [--fade-out MS]
  [--normalize [DBFS]] [--normalize-album [DBFS]] (split) [--replaygain]
Every command takes --json: standard output is then one JSON document, {"command", "files":
[one a FILE (for verify, SRC): its "streams", "tags", "chapters", its "outputs" planned or
written (file, start_ms, end_ms, length_ms, bytes, written), "notes" and "outcome" (status,
exit, message)], "exit"}, also when the run fails.

Times are seconds (90, 90.5), minutes:seconds (1:30, 12:30.250) or hours:minutes:seconds
(1:02:03.250); -30 or -0:30 counts back from the end (30 s before it).
Outputs hold exactly the samples of their range as a gapless player plays them; --frames
writes the whole frames that start in it instead. Outputs carry the source's tags (ID3v2 with
its pictures, as ID3v2.4, and ID3v1); parts are numbered n/N and take the texts given for
them; --no-tags writes none.
--silence cuts in the middle of every stretch quieter than --threshold (default -48 dB) for
at least --min-silence seconds (default 1); --min-part merges shorter parts into the one before.
--trim leaves those silences out of the parts. --every S --adjust N moves each point to the middle of the nearest such silence within N s.
--cue cuts at the tracks' INDEX 01 and gives each part its track's texts.
--chapters cuts at the start of each chapter of the file's ID3v2 tag (CHAP, in the order of
its CTOC) and gives each part its chapter's title and the file's other texts.
Several files are split (or cut) each as one would be, --jobs N of them at once (default: one
a core), their outputs and outcomes printed in their order; @f in -d, -n or -o is each file's
name without its extension (-d out/@f). Missing output folders are made. The exit status is
the first failure's, once every file was tried.
--dry-run prints what cut or split would write (each output's name, start, end, length and
bytes) and every refusal the run would give, and writes nothing.
--parts N cuts N parts of equal playing time, each point at the nearest frame boundary.
info lists the chapters too. --labels cuts at the labels of an Audacity label file (start,
end and text a line, tab-separated, in seconds), each part after one titled by its text.
--export-labels and --export-cue write the plan of any method as such a label file or a CUE
sheet of FILE (a track per part, its title and performer), and no part.
chapters writes FILE's frames, all of them, to OUT with a tag that holds a chapter for each
part the split would write (a table of contents and a CHAP frame each with its times and byte
offsets, titled by the lines of --titles, else by the part's own texts); --from-parts takes
them from the parts of an earlier split of FILE, in turn. Parts of a split and a cut keep the
source's chapters that play within them, moved to their own timeline.
-o - (or a name of standard output) writes the cut to standard output. A read-only file of
an output's name is kept unless --force is given.
-n BASE names the parts BASE000.mp3, BASE001.mp3, ...; a BASE with @n (track number from 01),
@t (title), @p (artist) or @a (album) is a pattern instead, e.g. -n "@n - @t".
verify decodes each output and the stretch of SRC it came from (the outputs one after the
other, the first from T, default 0) as a gapless player plays them, and says per output whether
it is that stretch sample for sample (else the first differing sample and the largest
difference) and, for several, whether in turn they are SRC; exit 0 only when all are exact.
Exit status: 2 usage, 3 unreadable input, 4 no MPEG audio, 5 empty range, 6 bad step,
7 output folder not writable, 8 output is the input, 9 write failed, 10 the range runs over a
change of format (a file of two encodes put end to end), 11 an output verify finds not exact,
12 a level change of Layer I or II frames (they hold no gain to change).
--gain DB moves every granule's gain by the nearest whole step of 1.505 dB; --fade-in and
--fade-out MS ramp each output's level from silence over its first or last MS ms;
--normalize [DBFS] (default -1) takes the largest step that keeps each output's true peak at
or under DBFS, --normalize-album one step for all the parts of a split; --replaygain writes
ReplayGain 2.0 tags (track, and album for a split). A note counts the granules whose gain
stopped at 0 or 255 (clamped).
)";

// The format, each stream of a file of several, and the junk among the frames.
void PrintFormat(const std::string &file, TSource &in)
{
    const TMPEGAFHdr &h = in.Hdr;
    Out() << "file: " << file << "\n"
          << "version: " << VersionName(h.MPEGVersion) << "\n"
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
        Out() << "stream " << k + 1 << ": " << VersionName(s.MPEGVersion) << " Layer " << s.Layer
              << ", " << s.SampleRate << " Hz, " << (s.ChannelMode == cmMono ? "mono" : "stereo")
              << ", " << s.Bitrate << " kbps " << (s.VBR ? "VBR" : "CBR") << ", from "
              << FormatMs("nn:ss.zzz", in.StreamStartMs(k)) << ", "
              << FormatMs("nn:ss.zzz", s.PlayedMs()) << " long\n";
    }
    // Bytes among the frames that are no frame: stepped over, never copied.
    std::vector<TByteRange> junk;
    for (size_t k = 0; k < in.StreamCount(); ++k) {
        const std::vector<TByteRange> own = in.StreamHdr(k).FindJunk(*in.Stream);
        junk.insert(junk.end(), own.begin(), own.end());
    }
    int64_t more = 0;
    for (size_t i = 0; i < junk.size(); ++i) {
        TJson &place = Report()["junk"].Push(TJson::Object());
        place["byte"] = junk[i].Start;
        place["bytes"] = junk[i].End - junk[i].Start;
        if (i < 20) {
            Out() << "junk: " << junk[i].End - junk[i].Start << " bytes at byte " << junk[i].Start
                  << ", skipped\n";
        } else {
            more += junk[i].End - junk[i].Start;
        }
    }
    if (junk.size() > 20) {
        Out() << "junk: " << more << " bytes more in " << junk.size() - 20 << " places, skipped\n";
    }
}

// The texts of the tag a listener sees, and every picture.
void PrintTags(const TSourceTags &tags)
{
    const std::optional<TPartTag> texts = SourceTexts(tags);
    if (!texts) {
        Out() << "tag: none\n";
        return;
    }
    std::string kinds = tags.Id3v2Texts ? "ID3v2" : "";
    if (tags.Id3v1) {
        kinds += kinds.empty() ? "ID3v1" : ", ID3v1";
    }
    const TPartTag &t = *texts;
    Out() << "tag: " << kinds << "\n"
          << "title: " << t.Title << "\n"
          << "artist: " << t.Artist << "\n"
          << "album: " << t.Album << "\n"
          << "year: " << t.Year << "\n"
          << "comment: " << t.Comment << "\n"
          << "genre: "
          << (t.GenreID < GenreNames.size() ? std::string(GenreNames[t.GenreID]) : "Unknown")
          << " (" << int(t.GenreID) << ")\n";
    static const char *PictureTypes[] = {"other",
                                         "file icon",
                                         "other file icon",
                                         "front cover",
                                         "back cover",
                                         "leaflet page",
                                         "media",
                                         "lead artist",
                                         "artist",
                                         "conductor",
                                         "band",
                                         "composer",
                                         "lyricist",
                                         "recording location",
                                         "during recording",
                                         "during performance",
                                         "screen capture",
                                         "bright fish",
                                         "illustration",
                                         "band logo",
                                         "publisher logo"};
    for (const TPictureInfo &p : tags.Pictures) {
        const bool named = p.Type >= 0 && p.Type < int(std::size(PictureTypes));
        Out() << "picture: " << (named ? PictureTypes[p.Type] : "other") << ", " << p.MimeType
              << ", " << p.Bytes << " bytes\n";
    }
}

// One file's format, tags and chapters.
int InfoOne(const std::string &file)
{
    TSource in;
    OpenInput(file, in);
    PrintFormat(file, in);
    const TSourceTags tags = ReadSourceTags(*in.Stream, in.Hdr.AudioStart);
    NoteOn(tags.Note);
    PrintTags(tags);
    // The chapters, in the order of the tag's table of contents.
    for (size_t i = 0; i < tags.Chapters.size(); ++i) {
        const TChapter &c = tags.Chapters[i];
        Out() << "chapter " << i + 1 << ": " << FormatMs("nn:ss.zzz", c.StartMs) << " - "
              << FormatMs("nn:ss.zzz", c.EndMs) << (c.Title.empty() ? "" : " ") << c.Title << "\n";
    }
    Report()["length_ms"] = in.LengthMs();
    return Ok;
}

int Info(const std::vector<std::string> &args, const TOptions &opts)
{
    if (args.empty()) {
        Fail(UsageError, "info takes a file, or several");
    }
    return ForEachInput(args, opts, InfoOne);
}

int CutOne(const fs::path &input, const std::string &start, const std::string &end,
           const std::map<std::string, std::string> &opts);

// mp3cut cut FILE... START END: the same range of each file.
int Cut(const std::vector<std::string> &args, const std::map<std::string, std::string> &opts)
{
    if (args.size() < 3) {
        Fail(UsageError, "cut takes FILE START END");
    }
    const std::vector<std::string> inputs(args.begin(), args.end() - 2);
    const std::string start = args[args.size() - 2];
    const std::string end = args.back();
    if (inputs.size() > 1 && opts.count("-o") && opts.at("-o").find("@f") == std::string::npos) {
        Fail(UsageError, "several inputs need @f in -o (the input's name), e.g. -o '@f-cut.mp3'");
    }
    return ForEachInput(inputs, opts,
                        [&](const std::string &input) { return CutOne(input, start, end, opts); });
}

int CutOne(const fs::path &input, const std::string &start, const std::string &end,
           const std::map<std::string, std::string> &opts)
{
    TCutJob job;
    job.Input = input;
    TSource in;
    OpenInput(job.Input, in); // an end-relative time needs its length
    job.StartMs = ParseTime(start, "START", in.LengthMs());
    job.EndMs = ParseTime(end, "END", in.LengthMs());
    job.Output =
        opts.count("-o") ? fs::path(WithBaseName(opts.at("-o"), input)) : DefaultCutName(job.Input);
    job.WholeFrames = opts.count("--frames") != 0;
    job.KeepTags = opts.count("--no-tags") == 0;
    job.ReplaceReadOnly = opts.count("--force") != 0;
    // "-o -", or a name of what standard output already writes to (/dev/stdout, a file it
    // appends to): the bytes go out through it, in order, and nothing is replaced.
    job.ToStandardOutput = job.Output == "-" || IsStandardOutput(job.Output);
    job.DryRun = opts.count("--dry-run") != 0;
    job.Level = LevelRequest(opts);
    if (job.Level.NormalizeAlbum) {
        Fail(UsageError, "--normalize-album takes the parts of a split: use --normalize");
    }
    if (job.ToStandardOutput && (job.Level.NormalizeDbfs || job.Level.ReplayGain)) {
        Fail(UsageError, "--normalize and --replaygain measure the file written: not with -o -");
    }
    if (!job.ToStandardOutput) {
        MakeFolder(job.Output.parent_path(), job.DryRun);
    }
    const TJobOutcome o = RunCut(in, job);
    NoteOn(o.TagNote);
    NoteOn(o.StreamNote);
    if (o.Status == TJobStatus::EmptyRange) {
        if (std::max<int64_t>(job.StartMs, 0) >= *job.EndMs) {
            Fail(EmptyRange, "the range " + start + " to " + end + " is empty");
        }
        Fail(EmptyRange, "no audio lies between " + start + " and " + end + " (the file lasts " +
                             FormatMs("nn:ss.zzz", o.AudioMs) + ")");
    }
    NoteLevel(o, job.Level);
    PrintPlan(o, job.DryRun);
    FailOn(o);
    if (!job.ToStandardOutput && !job.DryRun) {
        Out() << job.Output.string() << "\n";
    }
    return Ok;
}

// A level in dBFS as --normalize takes it: a number of 0 or under.
bool IsTarget(const std::string &text)
{
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && value <= 0 && text.find(':') == std::string::npos;
}

// The arguments after the command: options (with their values) into opts, the rest in order
// into args.
void ReadArguments(int argc, char **argv, std::vector<std::string> &args,
                   std::map<std::string, std::string> &opts)
{
    static const std::vector<std::string> WithValue = {
        "-o",           "-d",        "-n",          "--at",          "--every",
        "--size",       "--title",   "--artist",    "--album",       "--year",
        "--comment",    "--genre",   "--threshold", "--min-silence", "--min-part",
        "--adjust",     "--cue",     "--titles",    "--labels",      "--export-labels",
        "--export-cue", "--parts",   "--from",      "--jobs",        "--gain",
        "--fade-in",    "--fade-out"};
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--normalize" || a == "--normalize-album") {
            // A target of 0 dBFS or under may follow: a number that is no time to cut at.
            const bool target = i + 1 < argc && IsTarget(argv[i + 1]);
            opts[a] = target ? argv[++i] : "";
        } else if (a.rfind("--normalize=", 0) == 0 || a.rfind("--normalize-album=", 0) == 0) {
            opts[a.substr(0, a.find('='))] = a.substr(a.find('=') + 1);
        } else if (std::find(WithValue.begin(), WithValue.end(), a) != WithValue.end()) {
            if (i + 1 >= argc) {
                Fail(UsageError, a + " needs a value");
            }
            opts[a] = argv[++i];
        } else if (a == "--quiet" || a == "--frames" || a == "--no-tags" || a == "--silence" ||
                   a == "--trim" || a == "--force" || a == "--chapters" || a == "--dry-run" ||
                   a == "--json" || a == "--from-parts" || a == "--replaygain") {
            opts[a] = "";
        } else if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9')) {
            Fail(UsageError, "unknown option " + a);
        } else {
            args.push_back(a);
        }
    }
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
    if (std::strcmp(argv[1], "--version") == 0) {
        std::cout << "mp3cut " << MP3CUT_VERSION << "\n";
        return Ok;
    }
    const std::string command = argv[1];
    std::vector<std::string> args;
    std::map<std::string, std::string> opts;
    ReadArguments(argc, argv, args, opts);
    if (opts.count("--json")) {
        WantJson(command);
    }
    if (command == "info") {
        return Info(args, opts);
    }
    if (command == "cut") {
        return Cut(args, opts);
    }
    if (command == "split") {
        return Split(args, opts);
    }
    if (command == "verify") {
        return VerifyOutputs(args, opts);
    }
    if (command == "chapters") {
        return WriteChapters(args, opts);
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
        if (JsonWanted()) {
            PrintReports({}, f.status, f.message);
        }
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

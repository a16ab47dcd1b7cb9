// mp3cut: the cutter's core on the command line, for folders of long recordings.
#include "Errors.h"
#include "FileStream.h"
#include "MP3TAG.h"
#include "MPEGAFHdr.h"
#include "OutputFile.h"
#include "PartWriter.h"
#include "SplitPlan.h"
#include "TextCodec.h"
#include "TimeText.h"

#include <algorithm>
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
};

struct Failure
{
    Status status;
    std::string message;
};

constexpr const char *Usage = R"(usage:
  mp3cut info FILE
  mp3cut cut FILE START END [-o OUT]
  mp3cut split FILE (--at T1,T2,... | --every SECONDS | --size KB) [-d DIR] [-n BASE]
               [--title T] [--artist A] [--album B] [--year Y] [--comment C]
               [--genre NAME|NUMBER] [--quiet]

Times are minutes:seconds.milliseconds, e.g. 12:30.000 (the last piece counts milliseconds).
Exit status: 2 usage, 3 unreadable input, 4 no MPEG audio, 5 empty range, 6 bad step,
7 output folder not writable, 8 output is the input, 9 write failed.
)";

[[noreturn]] void Fail(Status status, const std::string &message)
{
    throw Failure{status, message};
}

std::string Quoted(const fs::path &path)
{
    return "'" + path.string() + "'";
}

// Opens the input and finds its first frame; the failures a user can act on are told apart.
struct TInput
{
    std::unique_ptr<TFileStream> stream;
    TMPEGAFHdr hdr;

    explicit TInput(const fs::path &path)
    {
        try {
            stream = std::make_unique<TFileStream>(path, fmOpenRead);
        } catch (const EFOpenError &e) {
            Fail(InputUnreadable, e.what());
        }
        if (!hdr.ReadFirstFrame(*stream)) {
            Fail(NoAudio, "no MPEG audio frame found in " + Quoted(path));
        }
    }
};

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
    TInput in(args[0]);
    const TMPEGAFHdr &h = in.hdr;
    static const char *VersionNames[] = {"reserved", "MPEG-1", "MPEG-2", "MPEG-2.5"};
    std::cout << "file: " << args[0] << "\n"
              << "version: " << VersionNames[h.MPEGVersion] << "\n"
              << "layer: " << h.Layer << "\n"
              << "bitrate: " << h.Bitrate << " kbps" << (h.VBR ? " (average)" : "") << "\n"
              << "sample rate: " << h.SampleRate << " Hz\n"
              << "frame length: " << h.FrameLength << " bytes\n"
              << "frame count: " << h.FrameCount << "\n"
              << "duration: " << FormatMs("nn:ss.zzz", h.Duration) << "\n"
              << "encoding: " << (h.VBR ? "VBR" : "CBR") << "\n";
    TID3Tag tag;
    if (!tag.ReadTag(*in.stream)) {
        std::cout << "tag: none\n";
        return Ok;
    }
    std::cout << "title: " << GB18030ToUtf8(tag.Title) << "\n"
              << "artist: " << GB18030ToUtf8(tag.Artist) << "\n"
              << "album: " << GB18030ToUtf8(tag.Album) << "\n"
              << "year: " << GB18030ToUtf8(tag.Year) << "\n"
              << "comment: " << GB18030ToUtf8(tag.Comment) << "\n"
              << "genre: " << tag.Genre << " (" << int(tag.GenreID) << ")\n";
    return Ok;
}

void CheckWritable(const fs::path &folder)
{
    if (!FolderWritable(folder)) {
        Fail(OutputUnwritable, "cannot write to the folder " + Quoted(folder));
    }
}

int Cut(const std::vector<std::string> &args, const std::map<std::string, std::string> &opts)
{
    if (args.size() != 3) {
        Fail(UsageError, "cut takes FILE START END");
    }
    const fs::path input = args[0];
    const int64_t start = ParseTime(args[1]);
    const int64_t end = ParseTime(args[2]);
    fs::path output;
    if (opts.count("-o")) {
        output = opts.at("-o");
    } else {
        output = input.parent_path() /
                 (input.stem().u8string() + u8"_片段" + input.extension().u8string());
    }
    TInput in(input);
    if (std::max<int64_t>(start, 0) >= end) {
        Fail(EmptyRange, "the range " + args[1] + " to " + args[2] + " is empty");
    }
    if (SameFile(output, input)) {
        Fail(OutputIsInput, "the output " + Quoted(output) + " is the input itself");
    }
    const fs::path folder = output.has_parent_path() ? output.parent_path() : fs::path(".");
    CheckWritable(folder);
    TOutputFile out(output);
    if (in.hdr.CopyRange(*in.stream, out.Stream(), start, end) == 0) {
        Fail(EmptyRange, "no audio lies between " + args[1] + " and " + args[2] +
                             " (the file lasts " + FormatMs("nn:ss.zzz", in.hdr.Duration) + ")");
    }
    out.Commit();
    std::cout << output.string() << "\n";
    return Ok;
}

bool SameLetters(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
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
    for (size_t i = 0; i < GenreNames.size(); ++i) {
        if (SameLetters(GenreNames[i], text)) {
            return uint8_t(i);
        }
    }
    Fail(UsageError, "unknown genre '" + text + "'");
}

std::vector<int64_t> CutPoints(const std::map<std::string, std::string> &opts,
                               const TMPEGAFHdr &hdr)
{
    const int methods = int(opts.count("--at") + opts.count("--every") + opts.count("--size"));
    if (methods != 1) {
        Fail(UsageError, "split takes one of --at, --every and --size");
    }
    if (opts.count("--at")) {
        std::vector<int64_t> points;
        std::string list = opts.at("--at");
        size_t from = 0;
        while (from <= list.size()) {
            const size_t comma = std::min(list.find(',', from), list.size());
            const std::string text = list.substr(from, comma - from);
            const int64_t t = ParseTime(text);
            if (t <= 0 || t >= hdr.Duration) {
                Fail(EmptyRange, "the cut point " + text +
                                     " lies outside the audio (00:00.000 to " +
                                     FormatMs("nn:ss.zzz", hdr.Duration) + ")");
            }
            points.push_back(t);
            from = comma + 1;
        }
        std::sort(points.begin(), points.end());
        if (std::adjacent_find(points.begin(), points.end()) != points.end()) {
            Fail(EmptyRange, "a cut point is given twice");
        }
        return points;
    }
    std::optional<int64_t> step;
    if (opts.count("--every")) {
        step = TimeStepMs(ParseWhole("--every", opts.at("--every")));
    } else {
        step = SizeStepMs(ParseWhole("--size", opts.at("--size")), hdr.Bitrate);
    }
    if (!step) {
        Fail(BadStep, "the split step must be at least 1 and not larger than the longest time");
    }
    return PlanCutPoints(0, hdr.Duration, *step);
}

int Split(const std::vector<std::string> &args, const std::map<std::string, std::string> &opts)
{
    if (args.size() != 1) {
        Fail(UsageError, "split takes one file");
    }
    const fs::path input = args[0];
    TInput in(input);
    TPartJob job;
    job.Input = input;
    job.Folder = opts.count("-d")          ? fs::path(opts.at("-d"))
                 : input.has_parent_path() ? input.parent_path()
                                           : fs::path(".");
    job.BaseName = opts.count("-n") ? opts.at("-n") : input.stem().string();
    auto text = [&](const char *name) {
        return opts.count(name) ? Utf8ToGB18030(opts.at(name)) : std::string();
    };
    job.Tag.Title = text("--title");
    job.Tag.Artist = text("--artist");
    job.Tag.Album = text("--album");
    job.Tag.Year = text("--year");
    job.Tag.Comment = text("--comment");
    if (opts.count("--genre")) {
        job.Tag.GenreID = ParseGenre(opts.at("--genre"));
    }
    int64_t from = 0;
    for (const int64_t cut : CutPoints(opts, in.hdr)) {
        job.Segments.push_back({from, cut, {}});
        from = cut;
    }
    job.Segments.push_back({from, in.hdr.Duration, {}});
    in.stream.reset();

    const bool showProgress = !opts.count("--quiet") && isatty(2);
    const TWriteResult result = WriteParts(job, [&](size_t done, size_t total) {
        if (showProgress) {
            std::fprintf(stderr, "\rsplit: part %zu of %zu", done, total);
            std::fflush(stderr);
        }
        return true;
    });
    if (showProgress) {
        std::fprintf(stderr, "\n");
    }
    switch (result.Outcome) {
    case TWriteOutcome::NoAudio:
        Fail(NoAudio, "no MPEG audio frame found in " + Quoted(input));
    case TWriteOutcome::TargetBusy:
        // The writer refuses both before the first part; which of the two it was is asked
        // only now, to spare every split a second probe of the folder.
        CheckWritable(job.Folder);
        Fail(OutputIsInput, "a part would overwrite the input " + Quoted(input));
    case TWriteOutcome::Done:
    case TWriteOutcome::Stopped:
        break;
    }
    for (const auto &part : result.Parts) {
        std::cout << part.string() << "\n";
    }
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
                                                       "--album", "--year", "--comment", "--genre"};
    std::vector<std::string> args;
    std::map<std::string, std::string> opts;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (std::find(WithValue.begin(), WithValue.end(), a) != WithValue.end()) {
            if (i + 1 >= argc) {
                Fail(UsageError, a + " needs a value");
            }
            opts[a] = argv[++i];
        } else if (a == "--quiet") {
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
    try {
        return Run(argc, argv);
    } catch (const Failure &f) {
        std::cerr << "mp3cut: " << f.message << "\n";
        if (f.status == UsageError) {
            std::cerr << "Try 'mp3cut --help'.\n";
        }
        return f.status;
    } catch (const EWriteError &e) {
        std::cerr << "mp3cut: " << e.what() << " (disk full?)\n";
        return WriteFailed;
    } catch (const Exception &e) {
        std::cerr << "mp3cut: " << e.what() << "\n";
        return WriteFailed;
    }
}

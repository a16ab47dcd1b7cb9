#include "Command.h"

#include "Report.h"
#include "io/Errors.h"
#include "plan/TimeText.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

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
    case TJobStatus::LevelNeedsLayer3:
        return "cannot change the level of " + file + ": its frames are " + o.Reason +
               ", which hold no gain that can be changed without decoding (Layer III frames do)";
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
    case TJobStatus::LevelNeedsLayer3:
        return LevelRefused;
    case TJobStatus::NameIsFolder:
    case TJobStatus::NotAFile:
    case TJobStatus::ReadOnlyFile:
    case TJobStatus::WriteFailed:
        return WriteFailed;
    }
    return WriteFailed;
}

thread_local std::ostream *output = &std::cout;
thread_local std::ostream *notes = &std::cerr;

} // namespace

std::ostream &Out()
{
    if (JsonWanted()) { // standard output holds the document alone
        thread_local std::ostream sink(nullptr);
        return sink;
    }
    return *output;
}

std::ostream &Err()
{
    return *notes;
}

int ForEachInput(const std::vector<std::string> &inputs, const TOptions &opts,
                 const std::function<int(const std::string &)> &run)
{
    if (inputs.size() == 1 && !JsonWanted()) {
        return run(inputs[0]);
    }
    const int64_t jobs = opts.count("--jobs") ? ParseWhole("--jobs", opts.at("--jobs"))
                                              : int64_t(std::thread::hardware_concurrency());
    if (opts.count("--jobs") && jobs < 1) {
        Fail(UsageError, "--jobs takes a number of files at once from 1 on");
    }
    struct TResult
    {
        std::ostringstream Out, Err;
        int Status = Ok;
        bool Done = false;
        TJson Report;
    };
    std::vector<TResult> results(inputs.size());
    std::mutex lock;
    std::condition_variable finished;
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i; (i = next++) < inputs.size();) {
            TResult &r = results[i];
            output = &r.Out;
            notes = &r.Err;
            r.Report = RunReported(inputs[i], r.Status, [&] { return run(inputs[i]); });
            if (r.Status == Ok && inputs.size() > 1) {
                r.Err << "mp3cut: " << inputs[i] << ": done\n";
            }
            const std::lock_guard hold(lock);
            r.Done = true;
            finished.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (int64_t k = 0; k < std::min<int64_t>(jobs, int64_t(inputs.size())); ++k) {
        threads.emplace_back(work);
    }
    int status = Ok;
    std::vector<TJson> reports;
    for (TResult &r : results) { // in the inputs' order, each as soon as it is done
        std::unique_lock hold(lock);
        finished.wait(hold, [&] { return r.Done; });
        hold.unlock();
        std::cout << r.Out.str() << std::flush;
        std::cerr << r.Err.str() << std::flush;
        status = status == Ok ? r.Status : status;
        reports.push_back(std::move(r.Report));
    }
    for (std::thread &t : threads) {
        t.join();
    }
    if (JsonWanted()) {
        PrintReports(std::move(reports), status);
    }
    return status;
}

std::string WithBaseName(const std::string &text, const fs::path &input)
{
    std::string out = text;
    const std::string base = input.stem().string();
    for (size_t at = 0; (at = out.find("@f", at)) != std::string::npos; at += base.size()) {
        out.replace(at, 2, base);
    }
    return out;
}

void MakeFolder(const fs::path &folder, bool dryRun)
{
    std::error_code error;
    if (folder.empty() || fs::exists(folder, error)) {
        return;
    }
    if (dryRun) {
        NoteOn("would make the folder " + Quoted(folder));
        return;
    }
    if (fs::create_directories(folder, error)) {
        NoteOn("made the folder " + Quoted(folder));
    } else if (error) {
        Fail(OutputUnwritable, "cannot make the folder " + Quoted(folder) + ": " + error.message());
    } // else another input's run made it meanwhile
}

void PrintPlan(const TJobOutcome &o, bool dryRun)
{
    Report()["outputs"] = OutputsJson(o);
    if (!dryRun) {
        return;
    }
    for (const TJobOutcome::TPlannedOutput &p : o.Plan) {
        Out() << p.File.string() << ": " << FormatMs("nn:ss.zzz", p.StartMs) << " to "
              << FormatMs("nn:ss.zzz", p.EndMs) << " ("
              << FormatMs("nn:ss.zzz", p.EndMs - p.StartMs) << "), " << p.Bytes << " bytes\n";
    }
}

[[noreturn]] void Fail(Status status, const std::string &message)
{
    throw Failure{status, message};
}

std::string Quoted(const fs::path &path)
{
    return "'" + path.string() + "'";
}

void FailOn(const TJobOutcome &o)
{
    if (o.Status != TJobStatus::Done && o.Status != TJobStatus::Stopped) {
        Fail(ExitStatus(o.Status), OutcomeMessage(o));
    }
}

void NoteOn(const std::string &note)
{
    if (!note.empty()) {
        Err() << "mp3cut: note: " << note << "\n";
        Report()["notes"].Push(note);
    }
}

void OpenInput(const fs::path &path, TSource &input)
{
    TJobOutcome o;
    if (!OpenJobInput(path, input, o)) {
        FailOn(o);
    }
    if (JsonWanted()) {
        Report()["streams"] = StreamsJson(input);
        const TSourceTags tags = ReadSourceTags(*input.Stream, input.Hdr.AudioStart);
        Report()["tags"] = TagsJson(tags);
        Report()["chapters"] = ChaptersJson(tags.Chapters);
    }
}

int64_t ParseTime(const std::string &text, const std::string &what, int64_t lengthMs)
{
    const std::optional<TTypedTime> time = ParseTypedTime(text);
    if (!time) {
        Fail(UsageError, "bad time '" + text + "' for " + what +
                             ": write seconds (90, 90.5), minutes:seconds (1:30, 1:30.5) or "
                             "hours:minutes:seconds (1:02:03.250); -30 or -0:30 is 30 s before "
                             "the end");
    }
    return time->FromEnd ? std::max<int64_t>(0, lengthMs - time->Ms) : time->Ms;
}

int64_t ParseWhole(const std::string &option, const std::string &text)
{
    int32_t value = 0;
    if (!TryStrToInt(text, value)) {
        Fail(UsageError, option + " takes a whole number, not '" + text + "'");
    }
    return value;
}

double ParseNumber(const TOptions &opts, const char *option, double fallback, double limit)
{
    if (!opts.count(option)) {
        return fallback;
    }
    const std::string &text = opts.at(option);
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || std::abs(value) > limit) {
        Fail(UsageError, std::string(option) + " takes a number, not '" + text + "'");
    }
    return value;
}

TLevelRequest LevelRequest(const TOptions &opts)
{
    TLevelRequest request;
    const auto number = [&](const char *option) { return ParseNumber(opts, option, 0.0, 1e7); };
    if (opts.count("--gain")) {
        request.Level.GainSteps = StepsOf(number("--gain"));
    }
    for (const auto &[option, ms] : {std::pair{"--fade-in", &request.Level.FadeInMs},
                                     std::pair{"--fade-out", &request.Level.FadeOutMs}}) {
        if (opts.count(option)) {
            *ms = int64_t(std::llround(number(option)));
            if (*ms < 0) {
                Fail(UsageError, std::string(option) + " takes milliseconds from 0 on");
            }
        }
    }
    if (opts.count("--normalize") || opts.count("--normalize-album")) {
        const char *option = opts.count("--normalize") ? "--normalize" : "--normalize-album";
        request.NormalizeDbfs = opts.at(option).empty() ? -1.0 : number(option);
        request.NormalizeAlbum = opts.count("--normalize-album") != 0;
        if (opts.count("--gain")) {
            Fail(UsageError,
                 "--gain and " + std::string(option) + " both set the gain: give one of them");
        }
    }
    request.ReplayGain = opts.count("--replaygain") != 0;
    if (request.ReplayGain && opts.count("--no-tags")) {
        Fail(UsageError, "--replaygain writes tags: not with --no-tags");
    }
    return request;
}

void NoteLevel(const TJobOutcome &o, const TLevelRequest &request)
{
    if (o.Status != TJobStatus::Done && o.Status != TJobStatus::Stopped) {
        return; // refused: nothing was done to tell
    }
    char text[160];
    if (request.Level.GainSteps != 0) {
        std::snprintf(text, sizeof text, "gain %+d steps of 1.505 dB (%+.2f dB)",
                      request.Level.GainSteps, request.Level.GainSteps * StepDb);
        NoteOn(text);
    }
    for (const TJobOutcome::TPlannedOutput &p : o.Plan) {
        const TLevelled &l = p.Level;
        if (request.NormalizeDbfs) {
            std::snprintf(text, sizeof text, "%s: normalized by %+d steps (%+.2f dB)",
                          p.File.string().c_str(), l.GainSteps, l.GainSteps * StepDb);
            NoteOn(text);
        }
        if (l.Clamped > 0) {
            NoteOn(p.File.string() + ": " + std::to_string(l.Clamped) +
                   " granules could not take the whole step: their gain stopped at the "
                   "lowest or highest the format holds");
        }
    }
    if (o.Album) {
        std::snprintf(text, sizeof text, "album gain %.2f dB, peak %.6f", *o.Album->AlbumGainDb,
                      *o.Album->AlbumPeak);
        NoteOn(text);
        Report()["album_gain_db"] = *o.Album->AlbumGainDb;
        Report()["album_peak"] = *o.Album->AlbumPeak;
    }
}

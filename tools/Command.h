#pragma once
// What the commands of mp3cut share: exit statuses, failures, notes and the reading of the
// input, times and numbers given on the command line.

#include "jobs/JobOutcome.h"
#include "jobs/LevelledOutput.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

using TArgs = std::vector<std::string>;
using TOptions = std::map<std::string, std::string>;

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
    NotExact = 11,     // verify: an output is not the source's stretch, sample for sample
    LevelRefused = 12, // a level change of frames that hold no gain (Layer I and II)
};

struct Failure
{
    Status status;
    std::string message;
};

[[noreturn]] void Fail(Status status, const std::string &message);
// Where a command's output and notes go: standard output and error, or for one of several
// inputs run at once the buffers printed in the inputs' order.
std::ostream &Out();
std::ostream &Err();
// Runs run(input) for each input, --jobs of them at once (default: one a core), and prints what
// each wrote, its failure and its outcome in the inputs' order; returns the first failure's
// status, after every input was tried. One input runs as it is, on this thread.
int ForEachInput(const std::vector<std::string> &inputs, const TOptions &opts,
                 const std::function<int(const std::string &)> &run);
// "@f" in an option's text stands for the input's base name (its name without the extension).
std::string WithBaseName(const std::string &text, const std::filesystem::path &input);
// Makes a missing output folder, with its parents, and says so; in a dry run, says it would.
void MakeFolder(const std::filesystem::path &folder, bool dryRun = false);
// The outputs planned or written, into the report; a dry run's plan also a line an output: its
// name, its stretch, its length and its bytes.
void PrintPlan(const mp3core::TJobOutcome &o, bool dryRun);
std::string Quoted(const std::filesystem::path &path);
// Fails with the outcome's words and exit status unless it is done or stopped.
void FailOn(const mp3core::TJobOutcome &o);
// A note on stderr: a tag of the input left out, a change of format; nothing when empty.
void NoteOn(const std::string &note);
void OpenInput(const std::filesystem::path &path, mp3core::TSource &input);
// A time as typed (see ParseTypedTime) for what (START, --at), counted from the start of a file
// of lengthMs.
int64_t ParseTime(const std::string &text, const std::string &what, int64_t lengthMs);
int64_t ParseWhole(const std::string &option, const std::string &text);
// A number option's value (at most limit either way), or the fallback when it is not given.
double ParseNumber(const TOptions &opts, const char *option, double fallback, double limit = 1e6);

// The level asked for: --gain DB, --fade-in MS, --fade-out MS, --normalize [DBFS],
// --normalize-album [DBFS] and --replaygain.
mp3core::TLevelRequest LevelRequest(const TOptions &opts);
// The notes of an outcome's level: the step of a gain, each output's normalizing step and the
// granules clamped.
void NoteLevel(const mp3core::TJobOutcome &o, const mp3core::TLevelRequest &request);

// mp3cut split FILE ...
int Split(const TArgs &args, const TOptions &opts);
// mp3cut verify SRC OUT... [--from T]
int VerifyOutputs(const TArgs &args, const TOptions &opts);
// mp3cut chapters FILE ... -o OUT: the file whole, with a chapter for each part a split
// would write.
int WriteChapters(const TArgs &args, const TOptions &opts);

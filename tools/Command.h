#pragma once
// What the commands of mp3cut share: exit statuses, failures, notes and the reading of the
// input, times and numbers given on the command line.

#include "jobs/JobOutcome.h"

#include <cstdint>
#include <filesystem>
#include <map>
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
    NotExact = 11, // verify: an output is not the source's stretch, sample for sample
};

struct Failure
{
    Status status;
    std::string message;
};

[[noreturn]] void Fail(Status status, const std::string &message);
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

// mp3cut split FILE ...
int Split(const TArgs &args, const TOptions &opts);
// mp3cut verify SRC OUT... [--from T]
int VerifyOutputs(const TArgs &args, const TOptions &opts);
// mp3cut chapters FILE ... -o OUT: the file whole, with a chapter for each part a split
// would write.
int WriteChapters(const TArgs &args, const TOptions &opts);

#include "Command.h"

#include "plan/TimeText.h"

#include <iostream>

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

} // namespace

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
        std::cerr << "mp3cut: note: " << note << "\n";
    }
}

void OpenInput(const fs::path &path, TSource &input)
{
    TJobOutcome o;
    if (!OpenJobInput(path, input, o)) {
        FailOn(o);
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

#include "jobs/JobOutcome.h"

#include "io/Errors.h"
#include "io/OutputFile.h"
#include "plan/TimeText.h"

#include <cerrno>
#include <cstring>

namespace mp3core {

bool OpenJobInput(const std::filesystem::path &path, TSource &input, TJobOutcome &outcome)
{
    try {
        input.Stream = std::make_unique<TFileStream>(path, fmOpenRead);
        if (const std::string kind = input.Stream->Kind(); !kind.empty()) {
            outcome.Status = TJobStatus::InputUnreadable;
            outcome.File = path;
            outcome.Reason = "it is " + kind + ", not a regular file";
            input.Stream.reset();
            return false;
        }
        if (input.ReadStreams()) {
            outcome.AudioMs = input.LengthMs();
            return true;
        }
        outcome.Status = TJobStatus::NoAudio;
        outcome.File = path;
        outcome.Reason = input.Stream->Size() == 0 ? "the file is empty"
                         : input.Hdr.FreeFormat    ? FreeFormatReason
                                                   : "no two frame headers in a row agree within "
                                                     "the first 10240 bytes after its tags";
    } catch (const EFOpenError &e) {
        outcome.Status = TJobStatus::InputUnreadable;
        outcome.File = path;
        outcome.Reason = ReasonText(e.Code, true);
    } catch (const EStreamError &e) {
        Failed(outcome, TJobStatus::ReadFailed, path, e);
    }
    input.Stream.reset();
    return false;
}

std::string StreamChangeText(TSource &input, size_t k)
{
    const auto format = [](const TMPEGAFHdr &h) {
        return std::to_string(h.SampleRate) + " Hz " +
               (h.ChannelMode == cmMono ? "mono" : "stereo") +
               (h.Layer != lyLayer3 ? " Layer " + std::to_string(h.Layer) : "");
    };
    return FormatMs("nn:ss.zzz", input.StreamStartMs(k)) + " (" + format(input.StreamHdr(k - 1)) +
           " to " + format(input.StreamHdr(k)) + ")";
}

std::string ReasonText(int code, bool reading)
{
    if (code != 0) {
        return std::strerror(code);
    }
    return reading ? "the file ended early (it changed while it was read)"
                   : "the system took no more bytes";
}

void Failed(TJobOutcome &outcome, TJobStatus status, const std::filesystem::path &file,
            const EStreamError &error)
{
    outcome.Status = status;
    outcome.File = file;
    outcome.Reason = ReasonText(error.Code, status == TJobStatus::ReadFailed);
}

namespace {

// Refuses a name that a folder, a FIFO, a socket or a device has.
bool RefuseKind(const std::filesystem::path &target, TJobOutcome &outcome)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (fs::is_directory(status)) {
        outcome.Status = TJobStatus::NameIsFolder;
        return true;
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        outcome.Status = TJobStatus::NotAFile;
        outcome.Reason = status.type() == fs::file_type::fifo     ? "a FIFO"
                         : status.type() == fs::file_type::socket ? "a socket"
                                                                  : "a device";
        return true;
    }
    return false;
}

} // namespace

bool CheckOutput(const std::filesystem::path &output, const std::filesystem::path &input,
                 TJobOutcome &outcome, bool replaceReadOnly)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    outcome.File = output;
    if (output.empty()) {
        outcome.Status = TJobStatus::WriteFailed;
        outcome.Reason = "no file name was given";
        return false;
    }
    fs::path target;
    try {
        target = OutputTarget(output); // a link's target is what gets written
    } catch (const EStreamError &e) {
        Failed(outcome, TJobStatus::WriteFailed, output, e);
        if (e.Code == EACCES) {
            outcome.Reason = "it is a link that another user made in a folder shared by everyone";
        }
        return false;
    }
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && SameFile(target, input)) {
        outcome.Status = TJobStatus::OutputIsInput;
        return false;
    }
    if (RefuseKind(target, outcome)) {
        return false;
    }
    if (!replaceReadOnly && ReadOnlyFile(target)) {
        outcome.Status = TJobStatus::ReadOnlyFile;
        return false;
    }
    const fs::path folder = FolderOf(target);
    if (!fs::is_directory(folder, ec)) {
        outcome.Status = TJobStatus::FolderUnwritable;
        outcome.File = folder;
        outcome.Reason = fs::exists(folder, ec) ? std::strerror(ENOTDIR) : std::strerror(ENOENT);
        return false;
    }
    outcome.File.clear();
    return true;
}

bool CreateOutput(const std::filesystem::path &output, std::unique_ptr<TOutputFile> &out,
                  TJobOutcome &outcome)
{
    try {
        out = std::make_unique<TOutputFile>(output);
        return true;
    } catch (const EStreamError &e) {
        // These speak of the folder; any other (a name too long, no descriptors) of the file.
        const bool folder = e.Code == EACCES || e.Code == EPERM || e.Code == EROFS ||
                            e.Code == ENOENT || e.Code == ENOTDIR;
        Failed(outcome, folder ? TJobStatus::FolderUnwritable : TJobStatus::WriteFailed,
               folder ? FolderOf(output) : output, e);
        return false;
    }
}

bool CommitOutput(TOutputFile &out, const std::filesystem::path &output, TJobOutcome &outcome)
{
    try {
        // What took the name since the run began is refused as it would have been then.
        outcome.File = output;
        if (RefuseKind(OutputTarget(output), outcome)) {
            return false;
        }
        outcome.File.clear();
        out.Commit();
        return true;
    } catch (const EStreamError &e) {
        std::error_code ec;
        Failed(outcome, TJobStatus::WriteFailed, output, e);
        if (std::filesystem::is_directory(output, ec)) {
            outcome.Status = TJobStatus::NameIsFolder; // taken since the run began
            outcome.Reason.clear();
        }
        return false;
    }
}

int64_t FileBytes(const std::filesystem::path &file)
{
    std::error_code error;
    const uintmax_t bytes = std::filesystem::file_size(file, error);
    return error ? 0 : int64_t(bytes);
}

bool CanChangeLevel(const TMPEGAFHdr &stream, const std::filesystem::path &input,
                    TJobOutcome &outcome)
{
    if (stream.Layer == lyLayer3) {
        return true;
    }
    outcome.Status = TJobStatus::LevelNeedsLayer3;
    outcome.File = input;
    outcome.Reason = stream.Layer == lyLayer1 ? "Layer I" : "Layer II";
    return false;
}

} // namespace mp3core

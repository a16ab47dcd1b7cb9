#include "JobOutcome.h"

#include "Errors.h"
#include "OutputFile.h"
#include "TimeText.h"

#include <cerrno>
#include <cstring>

bool OpenJobInput(const std::filesystem::path &path, TJobInput &input, TJobOutcome &outcome)
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
        if (input.Hdr.ReadFirstFrame(*input.Stream)) {
            // What follows the first stream's frames may be a stream of another format.
            const int64_t size = input.Stream->Size();
            for (TMPEGAFHdr *last = &input.Hdr; last->AudioEnd < size;) {
                auto next = std::make_unique<TMPEGAFHdr>();
                if (!next->ReadFirstFrame(*input.Stream, last->AudioEnd)) {
                    break;
                }
                const int64_t start = input.StreamStartMs(input.StreamCount() - 1) + last->PlayedMs();
                input.Later.push_back({std::move(next), start});
                last = input.Later.back().Hdr.get();
            }
            outcome.AudioMs = input.LengthMs();
            return true;
        }
        outcome.Status = TJobStatus::NoAudio;
        outcome.File = path;
        outcome.Reason = input.Stream->Size() == 0 ? "the file is empty"
                         : input.Hdr.FreeFormat     ? FreeFormatReason
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

size_t TJobInput::StreamAt(int64_t ms) const
{
    size_t k = 0;
    while (k < Later.size() && ms >= Later[k].StartMs) {
        ++k;
    }
    return k;
}

int64_t TJobInput::LengthMs() const
{
    const TMPEGAFHdr &last = Later.empty() ? Hdr : *Later.back().Hdr;
    return StreamStartMs(StreamCount() - 1) + last.PlayedMs();
}

int64_t TJobInput::LastCutMs()
{
    const size_t last = StreamCount() - 1;
    return StreamStartMs(last) + StreamHdr(last).LastCutMs(*Stream);
}

std::vector<int64_t> TJobInput::SizeCutTimes(int64_t fromMs, int64_t toMs, int64_t stepBytes)
{
    std::vector<int64_t> times;
    for (size_t k = 0; k < StreamCount(); ++k) {
        const int64_t start = StreamStartMs(k);
        const int64_t end = k + 1 < StreamCount() ? StreamStartMs(k + 1) : INT64_MAX;
        if (end <= fromMs || start >= toMs) {
            continue;
        }
        for (const int64_t t : StreamHdr(k).SizeCutTimes(*Stream, std::max(fromMs, start) - start,
                                                         std::min(toMs, end) - start, stepBytes)) {
            times.push_back(start + t);
        }
    }
    return times;
}

std::string StreamChangeText(TJobInput &input, size_t k)
{
    const auto format = [](const TMPEGAFHdr &h) {
        return std::to_string(h.SampleRate) + " Hz " + (h.ChannelMode == 3 ? "mono" : "stereo") +
               (h.Layer != 3 ? " Layer " + std::to_string(h.Layer) : "");
    };
    return FormatMs("nn:ss.zzz", input.StreamStartMs(k)) + " (" + format(input.StreamHdr(k - 1)) +
           " to " + format(input.StreamHdr(k)) + ")";
}

TByteRange JobRangeBytes(TJobInput &input, int64_t startMs, const std::optional<int64_t> &endMs,
                         size_t stream)
{
    TMPEGAFHdr &hdr = input.StreamHdr(stream);
    if (endMs) {
        return hdr.RangeBytes(*input.Stream, startMs, *endMs);
    }
    const int64_t start = hdr.FrameOffsetAt(*input.Stream, startMs);
    return start < hdr.AudioEnd ? TByteRange{start, hdr.AudioEnd} : TByteRange{};
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

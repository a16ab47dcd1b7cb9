#pragma once
// How a cut or a split ended, and why. Both front ends get the same outcome for the same request
// and only choose the words (a message box, or a line on stderr and an exit status).

#include "format/Source.h"
#include "io/FileStream.h"
#include "jobs/LevelledOutput.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mp3core {

enum class TJobStatus
{
    Done,
    Stopped,          // the caller asked to stop; Written lists the outputs that are complete
    InputUnreadable,  // File: the input; Reason: the system's words, or what it is if no file
    NoAudio,          // File: the input; Reason: why nothing in it counts as MPEG audio
    EmptyRange,       // no whole frame lies in the range, or no segment was given
    OutputIsInput,    // File: the output name that leads to the input
    FolderUnwritable, // File: the folder; Reason: the system's words
    NameIsFolder,     // File: the output name, taken by a folder
    NotAFile,         // File: the output name, taken by a device, a FIFO or a socket; Reason: which
    ReadOnlyFile,     // File: the output name, taken by a file that may not be written
    CrossesStreams,   // the range runs over a change of format; Reason: where (StreamChangeText)
    SameName,         // File: a name that two parts of a split would get
    WriteFailed,      // File: the output; Reason: the system's words
    ReadFailed,       // File: the input; Reason: the system's words
    LevelNeedsLayer3, // a level change of frames that hold no gain to change; Reason: "Layer II"
};

struct TJobOutcome
{
    TJobStatus Status = TJobStatus::Done;
    std::filesystem::path File;
    std::string Reason;
    std::vector<std::filesystem::path> Written; // complete outputs, in order
    size_t Planned = 0;                         // the outputs the run set out to write
    int64_t AudioMs = 0; // the input's length, once known: an empty range is told against it
    std::string TagNote; // a tag of the input left out of the outputs, and why; empty: none
    // Where a split ended parts at a change of format that lay inside a segment; empty: none.
    std::string StreamNote;
    // The outputs planned (a dry run's) or written, in order: each with its stretch of the
    // input and its bytes, those of its frames in a dry run and of the file once written.
    struct TPlannedOutput
    {
        std::filesystem::path File;
        int64_t StartMs = 0;
        int64_t EndMs = 0;
        int64_t Bytes = 0;
        TLevelled Level; // the gain it got, and its loudness when measured
    };
    std::vector<TPlannedOutput> Plan;
    std::optional<TReplayGain> Album; // a split's album ReplayGain, when measured
};

// Why a free-format stream (frames whose lengths no header gives) is refused.
inline constexpr const char *FreeFormatReason = "free-format bitrate is not supported";

// "00:05.000 (44100 Hz stereo to 48000 Hz stereo)": where stream k (from 1) starts, and how
// its format differs from the one before.
std::string StreamChangeText(TSource &input, size_t k);

// Opens the input and finds its first frame; false with the outcome filled when it cannot.
bool OpenJobInput(const std::filesystem::path &path, TSource &input, TJobOutcome &outcome);

class TOutputFile;

// Refuses an output name that leads to the input, to a folder, a device, a FIFO or a socket,
// or (unless replaceReadOnly) to a file that may not be written, or whose folder is missing.
bool CheckOutput(const std::filesystem::path &output, const std::filesystem::path &input,
                 TJobOutcome &outcome, bool replaceReadOnly = false);
// The output's temporary file; false with the outcome filled (the folder refuses new files, or
// the name cannot be had).
bool CreateOutput(const std::filesystem::path &output, std::unique_ptr<TOutputFile> &out,
                  TJobOutcome &outcome);
// Puts the output in place; false with the outcome filled, also when a folder, a device, a
// FIFO or a socket has taken its name since the run began.
bool CommitOutput(TOutputFile &out, const std::filesystem::path &output, TJobOutcome &outcome);

// The system's words for an error number; for 0, what a stream error without one means.
std::string ReasonText(int code, bool reading);

// The size of a file written; 0 when it cannot be told.
int64_t FileBytes(const std::filesystem::path &file);

// Whether a level change of the stream's frames can be made: true for Layer III; false with
// the outcome filled for the layers whose frames hold no gain to change.
bool CanChangeLevel(const TMPEGAFHdr &stream, const std::filesystem::path &input,
                    TJobOutcome &outcome);

// Fills outcome for a failure of writing output (or of reading input) to a file.
void Failed(TJobOutcome &outcome, TJobStatus status, const std::filesystem::path &file,
            const EStreamError &error);

} // namespace mp3core

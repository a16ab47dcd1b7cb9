#pragma once
// An output written whole or not at all: the bytes go to a temporary file beside the target,
// which replaces the target only on Commit. A file of the target's name survives every failure.
//
// Where the system allows it (Linux), the temporary file has no name until it is complete, so
// that nothing is left behind whatever ends the process, even SIGKILL; it is given a short name
// only for the moment between its completion and the rename over the target. Elsewhere it has
// a name from the start, which the signals that end a process remove (see
// RemoveTemporariesOnSignals). A target named by a symbolic link is the link's target: the
// link stays and its target is replaced. A replaced file keeps its permission bits, and its
// owner and group where the process may set them.

#include "io/FileStream.h"

#include <filesystem>
#include <memory>

namespace mp3core {

class TOutputFile
{
public:
    explicit TOutputFile(const std::filesystem::path &target);
    ~TOutputFile(); // removes the temporary file unless committed
    TOutputFile(const TOutputFile &) = delete;
    TOutputFile &operator=(const TOutputFile &) = delete;

    TFileStream &Stream() { return *stream_; }
    // Closes the stream and puts the file in the target's place.
    void Commit();

    // For tests: temporary files with a name from the start, as where no unnamed ones exist.
    static void UseNamedTemporaries(bool named);
    // For tests: called when a finished file has its temporary name, just before the rename
    // that gives it the target's (only when it replaces a file, or has a name from the start).
    static void BeforeRename(void (*hook)());

private:
    std::filesystem::path target_;
    std::filesystem::path temp_; // empty while the file has no name
    int slot_ = -1;              // where the signal handler finds temp_
    std::unique_ptr<TFileStream> stream_;
    bool committed_ = false;
};

// The folder a file name lies in: its parent, or "." for a bare name.
std::filesystem::path FolderOf(const std::filesystem::path &file);

// The file an output name stands for: symbolic links followed to the name they end at, which
// need not exist yet. Raises EFOpenError for a loop of links, and (EACCES) for a link that the
// kernel would not follow either: one in a sticky folder that everyone may write to (/tmp),
// owned by neither the folder's owner nor the user.
std::filesystem::path OutputTarget(const std::filesystem::path &name);

// Removes the temporary files in the folder that a run left behind: those of our name that no
// running writer holds. A SIGKILL in the moment between naming a finished file and renaming it
// over the file it replaces leaves one; the next run that writes into the folder removes it.
void RemoveAbandonedTemporaries(const std::filesystem::path &folder);

// True for an existing regular file that its mode or the system keeps from being written (as
// cp refuses to replace it); false for a file that may be written or does not exist.
bool ReadOnlyFile(const std::filesystem::path &file);

// True when both names lead to one existing file (links, "..", case folding and all).
bool SameFile(const std::filesystem::path &a, const std::filesystem::path &b);

// Makes SIGINT, SIGTERM and SIGHUP remove the named temporary files of the outputs in progress
// before they end the process as they would have; a signal that is ignored stays so. SIGXFSZ is
// ignored, so that a file grown past the size limit fails to write as a full disk does.
void RemoveTemporariesOnSignals();

} // namespace mp3core

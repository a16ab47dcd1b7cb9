#pragma once
// An output written whole or not at all: the bytes go to a temporary file beside the target,
// which replaces the target only on Commit. A file of the target's name survives every failure.

#include "FileStream.h"

#include <filesystem>
#include <memory>

class TOutputFile
{
public:
    explicit TOutputFile(const std::filesystem::path &target);
    ~TOutputFile(); // removes the temporary file unless committed
    TOutputFile(const TOutputFile &) = delete;
    TOutputFile &operator=(const TOutputFile &) = delete;

    TFileStream &Stream() { return *stream_; }
    const std::filesystem::path &TempPath() const { return temp_; }
    // Closes the stream and renames the temporary file over the target.
    void Commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
    std::unique_ptr<TFileStream> stream_;
    bool committed_ = false;
};

// True when both names lead to one existing file (links, "..", case folding and all).
bool SameFile(const std::filesystem::path &a, const std::filesystem::path &b);

#pragma once
// What the fuzz targets share: the input as a file the core can open, a folder for outputs, and
// a check that stops the run with the input that broke a property.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

// A property that must hold for every input; a failure aborts, so that the fuzzer keeps the
// input (and a replay names it).
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// The input as a file in memory: its name is a path the core opens like any other.
class TMemoryFile
{
public:
    TMemoryFile(const uint8_t *data, size_t size)
    {
        fd_ = ::memfd_create("fuzz-input", MFD_CLOEXEC);
        FUZZ_CHECK(fd_ >= 0);
        for (size_t done = 0; done < size;) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            FUZZ_CHECK(n > 0);
            done += size_t(n);
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~TMemoryFile() { ::close(fd_); }
    TMemoryFile(const TMemoryFile &) = delete;
    TMemoryFile &operator=(const TMemoryFile &) = delete;
    const std::filesystem::path &Path() const { return path_; }

private:
    int fd_ = -1;
    std::filesystem::path path_;
};

// A folder of this process for outputs (see Cleared).
inline const std::filesystem::path &OutputFolder()
{
    static const std::filesystem::path folder = [] {
        std::string name = (std::filesystem::temp_directory_path() / "mp3cut-fuzz-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(name.data()) != nullptr);
        return std::filesystem::path(name);
    }();
    static const struct TRemove
    {
        ~TRemove()
        {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        }
    } remove;
    return folder;
}

// The output folder, emptied.
inline const std::filesystem::path &Cleared()
{
    const std::filesystem::path &folder = OutputFolder();
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(folder, ec)) {
        std::filesystem::remove_all(e.path(), ec);
    }
    return folder;
}

// Every name in a folder.
inline std::vector<std::filesystem::path> Entries(const std::filesystem::path &folder)
{
    std::vector<std::filesystem::path> names;
    for (const auto &e : std::filesystem::directory_iterator(folder)) {
        names.push_back(e.path());
    }
    return names;
}

// Reads small numbers from the end of the input, so that the start stays an MP3 file.
class TTail
{
public:
    TTail(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint32_t Next(uint32_t bound)
    {
        uint32_t v = 0;
        for (int i = 0; i < 2 && used_ < size_; ++i) {
            v = (v << 8) | data_[size_ - 1 - used_++];
        }
        return bound == 0 ? 0 : v % bound;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t used_ = 0;
};

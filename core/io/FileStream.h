#pragma once
// The byte stream under every file operation: 64-bit sizes and positions, reads and writes of
// exactly n bytes that raise when fewer move, and a settable size.

#include "io/Errors.h" // EFOpenError, EReadError, EWriteError

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace mp3core {

enum TFileMode
{
    fmOpenRead,      // existing file, read only
    fmCreate,        // create, or empty an existing file; read and write
    fmOpenReadWrite, // existing file, read and write
    fmCreateNew,     // create a file that must not exist yet; read and write
};

enum TSeekOrigin
{
    soBeginning,
    soCurrent,
    soEnd
};

// Empty for a regular file's mode bits; otherwise what the file is: "a folder", "a FIFO",
// "a socket" or "a device".
std::string KindOf(unsigned mode);

class TFileStream;

// True when the name leads to the file, pipe or terminal that standard output writes to.
bool IsStandardOutput(const std::filesystem::path &path);

class TFileStream;
// A name that reaches an open file through a descriptor of its own, for a second reader that
// must not move the writer's offset (the file may have no name yet): /proc/self/fd/N.
std::filesystem::path DescriptorPath(const TFileStream &stream);

class TFileStream
{
public:
    // A stream of its own over standard output, which it writes in order (it cannot seek when
    // standard output is a pipe).
    static std::unique_ptr<TFileStream> StandardOutput();

    TFileStream(const std::filesystem::path &path, TFileMode mode);
    // Takes over an open file descriptor; name stands for it in messages.
    TFileStream(int fd, const std::filesystem::path &name);
    ~TFileStream();
    TFileStream(const TFileStream &) = delete;
    TFileStream &operator=(const TFileStream &) = delete;

    int64_t Size() const;
    int64_t Position() const;
    int64_t Seek(int64_t offset, TSeekOrigin origin);
    // Reads up to n bytes; returns how many arrived (fewer only at the end of the file).
    int64_t Read(void *buffer, int64_t n);
    void ReadBuffer(void *buffer, int64_t n);
    // ReadBuffer of the n bytes at pos; the position afterwards is unspecified.
    void ReadBufferAt(int64_t pos, void *buffer, int64_t n);
    void WriteBuffer(const void *buffer, int64_t n);
    // WriteBuffer of n bytes at pos; the position afterwards is unspecified.
    void WriteBufferAt(int64_t pos, const void *buffer, int64_t n);
    void SetSize(int64_t size);
    // Appends count bytes from source's position to this stream's position, moving both.
    // Raises as ReadBuffer and WriteBuffer.
    void CopyFrom(TFileStream &source, int64_t count);
    // The same through the caller's buffer, for callers that copy many times; with crc, the
    // CRC-16 (see Crc16.h) of the bytes copied is carried on in it.
    void CopyFrom(TFileStream &source, int64_t count, char *buffer, int64_t bufferSize,
                  uint16_t *crc = nullptr);
    const std::filesystem::path &FileName() const { return path_; }
    // The bytes the reads have brought in since the stream was opened.
    int64_t BytesRead() const { return bytesRead_; }
    int Handle() const { return fd_; }
    // Empty for a regular file; otherwise what it is (see KindOf).
    std::string Kind() const;

private:
    std::filesystem::path path_;
    int fd_ = -1;
    int64_t bytesRead_ = 0;
};

} // namespace mp3core

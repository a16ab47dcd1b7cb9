// The one file of the core that speaks to the operating system.
#include "io/FileStream.h"

#include "io/Crc16.h"
#include "io/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#define NATIVE_OPEN _wopen
#define NATIVE_LSEEK _lseeki64
#define NATIVE_CLOSE _close
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mp3core {

#define NATIVE_OPEN ::open
#define NATIVE_LSEEK ::lseek
#define NATIVE_CLOSE ::close
#endif

namespace {

int OpenFlags(TFileMode mode)
{
    int flags = 0;
    switch (mode) {
    case fmOpenRead:
        flags = O_RDONLY;
#ifndef _WIN32
        flags |= O_NONBLOCK; // a FIFO opens at once, to be refused as no file to stream
#endif
        break;
    case fmCreate:
        flags = O_RDWR | O_CREAT | O_TRUNC;
        break;
    case fmOpenReadWrite:
        flags = O_RDWR;
        break;
    case fmCreateNew:
        flags = O_RDWR | O_CREAT | O_EXCL;
        break;
    }
#ifdef _WIN32
    flags |= O_BINARY | O_NOINHERIT;
#else
    flags |= O_CLOEXEC;
#endif
    return flags;
}

// Largest chunk handed to one read or write call; both platforms take int-sized counts.
constexpr int64_t MaxChunk = 1 << 30;

// Calls call(done, chunk) until n bytes have moved, again where a signal interrupted it; a
// call that moves nothing raises TError with the system's code.
template <typename TError, typename TCall> void MoveAll(int64_t n, TCall call)
{
    int64_t done = 0;
    while (done < n) {
        const int64_t moved = int64_t(call(done, std::min(n - done, MaxChunk)));
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved <= 0) {
            throw TError(moved < 0 ? errno : 0);
        }
        done += moved;
    }
}

} // namespace

TFileStream::TFileStream(const std::filesystem::path &path, TFileMode mode) : path_(path)
{
#ifdef _WIN32
    fd_ = NATIVE_OPEN(path.c_str(), OpenFlags(mode), _S_IREAD | _S_IWRITE);
#else
    fd_ = NATIVE_OPEN(path.c_str(), OpenFlags(mode), 0666);
#endif
    if (fd_ < 0) {
        const int error = errno;
        throw EFOpenError("Cannot open file \"" + path.string() + "\". " + std::strerror(error),
                          error);
    }
#ifndef _WIN32
    // A folder opens read-only on POSIX; it is no file to stream.
    struct stat st
    {
    };
    if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        NATIVE_CLOSE(fd_);
        fd_ = -1;
        throw EFOpenError("Cannot open file \"" + path.string() + "\". " + std::strerror(EISDIR),
                          EISDIR);
    }
#endif
}

TFileStream::TFileStream(int fd, const std::filesystem::path &name) : path_(name), fd_(fd) {}

std::unique_ptr<TFileStream> TFileStream::StandardOutput()
{
#ifdef _WIN32
    const int fd = _dup(1);
#else
    const int fd = ::dup(1);
#endif
    if (fd < 0) {
        throw EWriteError(errno);
    }
    return std::make_unique<TFileStream>(fd, "standard output");
}

bool IsStandardOutput(const std::filesystem::path &path)
{
#ifdef _WIN32
    (void)path;
    return false;
#else
    struct stat out
    {
    };
    struct stat named
    {
    };
    return ::fstat(1, &out) == 0 && ::stat(path.c_str(), &named) == 0 &&
           out.st_dev == named.st_dev && out.st_ino == named.st_ino;
#endif
}

std::string TFileStream::Kind() const
{
#ifdef _WIN32
    return {};
#else
    struct stat st
    {
    };
    return fstat(fd_, &st) == 0 ? KindOf(st.st_mode) : std::string();
#endif
}

std::string KindOf(unsigned mode)
{
#ifdef _WIN32
    (void)mode;
    return {};
#else
    if (S_ISREG(mode)) {
        return {};
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "a device";
#endif
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0) {
        NATIVE_CLOSE(fd_);
    }
}

int64_t TFileStream::Size() const
{
#ifdef _WIN32
    struct _stat64 st
    {
    };
    if (_fstat64(fd_, &st) != 0) {
        throw EStreamError(std::strerror(errno));
    }
#else
    struct stat st
    {
    };
    if (fstat(fd_, &st) != 0) {
        throw EStreamError(std::strerror(errno), errno);
    }
#endif
    return static_cast<int64_t>(st.st_size);
}

int64_t TFileStream::Position() const
{
    return static_cast<int64_t>(NATIVE_LSEEK(fd_, 0, SEEK_CUR));
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    const auto pos = NATIVE_LSEEK(fd_, offset, whence);
    if (pos < 0) {
        throw EStreamError(std::strerror(errno));
    }
    return static_cast<int64_t>(pos);
}

int64_t TFileStream::Read(void *buffer, int64_t n)
{
    auto *p = static_cast<char *>(buffer);
    int64_t done = 0;
    while (done < n) {
        const auto chunk = std::min(n - done, MaxChunk);
#ifdef _WIN32
        const auto got = _read(fd_, p + done, static_cast<unsigned>(chunk));
#else
        const auto got = ::read(fd_, p + done, static_cast<size_t>(chunk));
#endif
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EReadError(errno);
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    bytesRead_ += done;
    return done;
}

void TFileStream::ReadBuffer(void *buffer, int64_t n)
{
    if (n > 0 && Read(buffer, n) != n) {
        throw EReadError();
    }
}

void TFileStream::ReadBufferAt(int64_t pos, void *buffer, int64_t n)
{
#ifdef _WIN32
    Seek(pos, soBeginning);
    ReadBuffer(buffer, n);
#else
    // One call instead of a seek and a read: a frame walk reads thousands of windows.
    auto *p = static_cast<char *>(buffer);
    MoveAll<EReadError>(n, [&](int64_t done, int64_t chunk) {
        return ::pread(fd_, p + done, static_cast<size_t>(chunk), pos + done);
    });
    bytesRead_ += n;
#endif
}

void TFileStream::WriteBuffer(const void *buffer, int64_t n)
{
    const auto *p = static_cast<const char *>(buffer);
    MoveAll<EWriteError>(n, [&](int64_t done, int64_t chunk) {
#ifdef _WIN32
        return _write(fd_, p + done, static_cast<unsigned>(chunk));
#else
        return ::write(fd_, p + done, static_cast<size_t>(chunk));
#endif
    });
}

void TFileStream::WriteBufferAt(int64_t pos, const void *buffer, int64_t n)
{
#ifdef _WIN32
    Seek(pos, soBeginning);
    WriteBuffer(buffer, n);
#else
    const auto *p = static_cast<const char *>(buffer);
    MoveAll<EWriteError>(n, [&](int64_t done, int64_t chunk) {
        return ::pwrite(fd_, p + done, static_cast<size_t>(chunk), pos + done);
    });
#endif
}

void TFileStream::SetSize(int64_t size)
{
#ifdef _WIN32
    const bool ok = _chsize_s(fd_, size) == 0;
#else
    const bool ok = ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
#endif
    if (!ok) {
        throw EWriteError(errno);
    }
    if (Position() > size) {
        Seek(size, soBeginning);
    }
}

void TFileStream::CopyFrom(TFileStream &source, int64_t count)
{
    constexpr int64_t Block = 256 << 10; // to stay in the cache between the read and the write
    const int64_t size = std::max<int64_t>(1, std::min(count, Block));
    const std::unique_ptr<char[]> buffer(new char[size_t(size)]);
    CopyFrom(source, count, buffer.get(), size);
}

void TFileStream::CopyFrom(TFileStream &source, int64_t count, char *buffer, int64_t bufferSize,
                           uint16_t *crc)
{
    // Through the buffer, a block at a time: the CRC is summed while a block is still in the
    // cache, so no byte is read twice. The first block ends on a page of the target, so that
    // no later write splits a page with the one before it.
    constexpr int64_t Page = 4096;
    const int64_t at = Position(); // -1 for a pipe
    int64_t n = std::min(count, at >= 0 ? bufferSize - at % Page : bufferSize);
    if (n <= 0) {
        n = std::min(count, bufferSize);
    }
    while (count > 0) {
        source.ReadBuffer(buffer, n);
        if (crc) {
            *crc = Crc16(*crc, reinterpret_cast<const uint8_t *>(buffer), size_t(n));
        }
        WriteBuffer(buffer, n);
        count -= n;
        n = std::min(count, bufferSize);
    }
}

std::filesystem::path DescriptorPath(const TFileStream &stream)
{
    return "/proc/self/fd/" + std::to_string(stream.Handle());
}

} // namespace mp3core

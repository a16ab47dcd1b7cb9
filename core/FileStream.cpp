// The one file of the core that speaks to the operating system.
#include "FileStream.h"

#include "Crc16.h"
#include "Errors.h"

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

#ifdef __linux__
// One pipe a thread, kept from copy to copy: a split copies a part at a time, and making and
// sizing a pipe each time cost more than a small part's copy. A copy that fails may leave bytes
// in it, so it is then thrown away.
class TCopyPipe
{
public:
    ~TCopyPipe() { Discard(); }

    bool Open()
    {
        // A child process must not pour into the pipe its parent goes on using.
        if (ends_[0] >= 0 && owner_ != ::getpid()) {
            Discard();
        }
        if (ends_[0] >= 0) {
            return true;
        }
        owner_ = ::getpid();
        if (::pipe2(ends_, O_CLOEXEC) != 0) {
            ends_[0] = ends_[1] = -1;
            return false;
        }
        ::fcntl(ends_[1], F_SETPIPE_SZ, 1 << 20); // the default 64 KiB if refused
        capacity_ = ::fcntl(ends_[1], F_GETPIPE_SZ);
        if (capacity_ <= 0) {
            Discard();
            return false;
        }
        return true;
    }

    void Discard()
    {
        if (ends_[0] >= 0) {
            ::close(ends_[0]);
            ::close(ends_[1]);
            ends_[0] = ends_[1] = -1;
        }
    }

    int Out() const { return ends_[0]; }
    int In() const { return ends_[1]; }
    int64_t Capacity() const { return capacity_; }

private:
    int ends_[2] = {-1, -1};
    int64_t capacity_ = 0;
    pid_t owner_ = 0;
};

// Moves count bytes from in's position to out's position through a pipe of our own, so that
// the kernel copies each byte once instead of into our buffer and out again. Frames start
// anywhere in a page, so the writes are gathered to start and end on the target's 64 KiB
// boundaries: the page cache then takes the target in whole pieces instead of splitting every
// page between two writes. Returns false, having moved nothing, when these two files cannot be
// spliced.
bool SpliceCopy(int in, int out, int64_t count)
{
    constexpr int64_t Granule = 64 << 10;
    static thread_local TCopyPipe pipe;
    int64_t target = ::lseek(out, 0, SEEK_CUR);
    if (target < 0 || !pipe.Open()) {
        return false;
    }
    // Unless the copy ends with the pipe empty, nothing of it may reach the next copy.
    struct TEmptyOrDiscard
    {
        int64_t &inPipe;
        ~TEmptyOrDiscard()
        {
            if (inPipe != 0) {
                pipe.Discard();
            }
        }
    };
    const int64_t capacity = pipe.Capacity();
    const auto unsupported = [] { return errno == EINVAL || errno == ENOSYS || errno == EBADF; };
    int64_t left = count;
    int64_t inPipe = 0;
    const TEmptyOrDiscard guard{inPipe};
    bool wrote = false;
    while (left > 0 || inPipe > 0) {
        if (left > 0 && capacity - inPipe >= std::min(Granule, capacity)) {
            const auto n =
                ::splice(in, nullptr, pipe.In(), nullptr, size_t(std::min(left, capacity - inPipe)),
                         SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (n > 0) {
                left -= n;
                inPipe += n;
                continue;
            }
            if (n == 0) {
                throw EReadError(); // the source ended first
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN || inPipe == 0) {
                if (inPipe == 0 && !wrote && unsupported()) {
                    return false;
                }
                throw EReadError(errno);
            }
            // EAGAIN: the pipe's pages are taken though its bytes are not; empty it first.
        }
        int64_t put = left > 0 ? (target + inPipe) / Granule * Granule - target : inPipe;
        if (put <= 0) {
            put = inPipe;
        }
        while (put > 0) {
            const auto n = ::splice(pipe.Out(), nullptr, out, nullptr, size_t(put), SPLICE_F_MOVE);
            if (n > 0) {
                put -= n;
                inPipe -= n;
                target += n;
                wrote = true;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && !wrote && unsupported()) {
                // Give the source back what the pipe took, and copy another way.
                if (::lseek(in, -(count - left), SEEK_CUR) < 0) {
                    throw EReadError(errno);
                }
                return false;
            } else {
                throw EWriteError(errno);
            }
        }
    }
    return true;
}
#endif

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
    int64_t done = 0;
    while (done < n) {
        const auto chunk = std::min(n - done, MaxChunk);
        const auto got = ::pread(fd_, p + done, static_cast<size_t>(chunk), pos + done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            throw EReadError(got < 0 ? errno : 0);
        }
        done += got;
    }
#endif
}

void TFileStream::WriteBuffer(const void *buffer, int64_t n)
{
    const auto *p = static_cast<const char *>(buffer);
    int64_t done = 0;
    while (done < n) {
        const auto chunk = std::min(n - done, MaxChunk);
#ifdef _WIN32
        const auto put = _write(fd_, p + done, static_cast<unsigned>(chunk));
#else
        const auto put = ::write(fd_, p + done, static_cast<size_t>(chunk));
#endif
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            throw EWriteError(put < 0 ? errno : 0);
        }
        done += put;
    }
}

void TFileStream::WriteBufferAt(int64_t pos, const void *buffer, int64_t n)
{
#ifdef _WIN32
    Seek(pos, soBeginning);
    WriteBuffer(buffer, n);
#else
    const auto *p = static_cast<const char *>(buffer);
    int64_t done = 0;
    while (done < n) {
        const auto chunk = std::min(n - done, MaxChunk);
        const auto put = ::pwrite(fd_, p + done, static_cast<size_t>(chunk), pos + done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            throw EWriteError(put < 0 ? errno : 0);
        }
        done += put;
    }
#endif
}

uint16_t TFileStream::Crc16Of(int64_t pos, int64_t n, uint16_t crc)
{
    // A block at a time, small enough to stay in the cache between the read and the sum.
    constexpr int64_t Block = 256 * 1024;
    const std::unique_ptr<uint8_t[]> buffer(new uint8_t[size_t(std::clamp<int64_t>(n, 1, Block))]);
    for (int64_t at = pos; at < pos + n; at += Block) {
        const int64_t m = std::min(Block, pos + n - at);
        ReadBufferAt(at, buffer.get(), m);
        crc = Crc16(crc, buffer.get(), size_t(m));
    }
    return crc;
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
    constexpr int64_t Block = 1 << 20;
    const int64_t size = std::max<int64_t>(1, std::min(count, Block));
    const std::unique_ptr<char[]> buffer(new char[size_t(size)]);
    CopyFrom(source, count, buffer.get(), size);
}

void TFileStream::CopyFrom(TFileStream &source, int64_t count, char *buffer, int64_t bufferSize)
{
#ifdef __linux__
    // Three ways, by size, as measured on splits here. From 8 MiB on the kernel's own
    // copy_file_range; from 64 KiB our pipe, which moves each byte once and writes whole pieces
    // of the target (over gigabytes the kernel's copy measured faster); the smallest copies
    // through the buffer. Where copy_file_range refuses two files, the pipe takes the rest.
    constexpr int64_t KernelCopyFrom = 8 << 20;
    constexpr int64_t SpliceFrom = 64 << 10;
    if (count >= KernelCopyFrom) {
        while (count > 0) {
            const auto chunk = size_t(std::min(count, MaxChunk));
            const auto moved = ::copy_file_range(source.fd_, nullptr, fd_, nullptr, chunk, 0u);
            if (moved > 0) {
                count -= moved;
            } else if (moved == 0) {
                throw EReadError(); // the source ended first
            } else if (errno != EINTR) {
                if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
                    throw EWriteError(errno);
                }
                break;
            }
        }
    }
    if (count >= SpliceFrom && SpliceCopy(source.fd_, fd_, count)) {
        return;
    }
#endif
    while (count > 0) {
        const int64_t n = std::min(count, bufferSize);
        source.ReadBuffer(buffer, n);
        WriteBuffer(buffer, n);
        count -= n;
    }
}

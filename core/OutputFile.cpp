#include "OutputFile.h"

#include "Errors.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::atomic<bool> namedTemporaries{false};

// The named temporary files in progress, for the signal handler: fixed slots of plain bytes,
// which a handler may read.
struct TSlot
{
    std::atomic<bool> used{false};
    char path[4096] = {};
};
TSlot slots[16];

int Register(const fs::path &path)
{
    const std::string s = path.string();
    if (s.size() >= sizeof slots[0].path) {
        return -1;
    }
    for (int i = 0; i < int(std::size(slots)); ++i) {
        bool expected = false;
        if (!slots[i].used.load() &&
            slots[i].used.compare_exchange_strong(expected, true, std::memory_order_acquire)) {
            slots[i].path[0] = '\0';
            std::memcpy(slots[i].path, s.c_str(), s.size() + 1);
            return i;
        }
    }
    return -1;
}

void Unregister(int &slot)
{
    if (slot >= 0) {
        slots[slot].path[0] = '\0';
        slots[slot].used.store(false, std::memory_order_release);
        slot = -1;
    }
}

#ifndef _WIN32
extern "C" void RemoveAndEnd(int signal)
{
    for (TSlot &slot : slots) {
        if (slot.used.load() && slot.path[0] != '\0') {
            ::unlink(slot.path);
        }
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

// A short name in the folder that no file has: it does not grow with the target's name.
fs::path FreshName(const fs::path &folder)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    return folder / (".mp3cut-" + std::to_string(random() % 1000000000) + ".part");
}

#ifndef _WIN32
// Gives an unnamed file a name: 0, or -1 with errno set. Linking by the descriptor needs a
// privilege that the link of its /proc entry does not.
int Link(int fd, const fs::path &name)
{
    if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) {
        return 0;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
}
#endif

[[noreturn]] void OpenFailed(const fs::path &path, int error)
{
    throw EFOpenError("Cannot create file \"" + path.string() + "\". " + std::strerror(error),
                      error);
}

} // namespace

fs::path FolderOf(const fs::path &file)
{
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

fs::path OutputTarget(const fs::path &name)
{
    fs::path path = name;
    for (int links = 0;; ++links) {
        std::error_code ec;
        if (!fs::is_symlink(path, ec)) {
            return path;
        }
        if (links >= 40) {
            OpenFailed(name, ELOOP);
        }
        const fs::path to = fs::read_symlink(path, ec);
        if (ec) {
            OpenFailed(name, ec.value());
        }
        path = to.is_absolute() ? to : FolderOf(path) / to;
    }
}

TOutputFile::TOutputFile(const fs::path &target) : target_(OutputTarget(target))
{
    const fs::path folder = FolderOf(target_);
#ifdef O_TMPFILE
    if (!namedTemporaries) {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd >= 0) {
            stream_ = std::make_unique<TFileStream>(fd, target_);
            return;
        }
        // Only a system or file system without unnamed files goes on to a named one.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            OpenFailed(target_, errno);
        }
    }
#endif
    for (int attempt = 0;; ++attempt) {
        temp_ = FreshName(folder);
        slot_ = Register(temp_); // before the file exists, so that no signal misses it
        try {
            stream_ = std::make_unique<TFileStream>(temp_, fmCreateNew);
            return;
        } catch (const EFOpenError &e) {
            Unregister(slot_);
            if (attempt >= 16 || e.Code != EEXIST) {
                OpenFailed(target_, e.Code);
            }
        }
    }
}

TOutputFile::~TOutputFile()
{
    if (!committed_) {
        stream_.reset();
        if (!temp_.empty()) {
            std::error_code ec;
            fs::remove(temp_, ec);
        }
    }
    Unregister(slot_);
}

void TOutputFile::Commit()
{
    std::error_code ec;
#ifndef _WIN32
    const int fd = stream_->Handle();
    // A file replaced keeps who may read it.
    struct stat old
    {
    };
    const bool exists = ::stat(target_.c_str(), &old) == 0 || errno != ENOENT;
    if (exists && S_ISREG(old.st_mode)) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            (void)::fchown(fd, uid_t(-1), old.st_gid); // the group alone, where it may
        }
        ::fchmod(fd, old.st_mode & 07777);
    }
    // A new name takes the unnamed file at once; one made meanwhile is replaced as below.
    if (temp_.empty() && !exists && Link(fd, target_) == 0) {
        stream_.reset();
        committed_ = true;
        return;
    }
    if (temp_.empty()) {
        // The unnamed file gets a name for as long as it takes to rename it over the target.
        for (int attempt = 0; temp_.empty(); ++attempt) {
            const fs::path name = FreshName(FolderOf(target_));
            slot_ = Register(name);
            if (Link(fd, name) == 0) {
                temp_ = name;
            } else {
                const int error = errno;
                Unregister(slot_);
                if (error != EEXIST || attempt >= 16) {
                    throw EWriteError(error);
                }
            }
        }
    }
#endif
    stream_.reset();
    fs::rename(temp_, target_, ec);
    if (ec) {
        throw EWriteError(ec.value()); // the destructor removes the temporary file
    }
    committed_ = true;
    Unregister(slot_);
}

void TOutputFile::UseNamedTemporaries(bool named)
{
    namedTemporaries = named;
}

bool SameFile(const fs::path &a, const fs::path &b)
{
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

void RemoveTemporariesOnSignals()
{
#ifndef _WIN32
    // A file grown past the size limit is a write that fails ("File too large"), which the
    // jobs report with the parts they finished, rather than the end of the process.
    struct sigaction limit
    {
    };
    if (::sigaction(SIGXFSZ, nullptr, &limit) == 0 && limit.sa_handler == SIG_DFL) {
        ::signal(SIGXFSZ, SIG_IGN);
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now
        {
        };
        if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) {
            struct sigaction action
            {
            };
            action.sa_handler = RemoveAndEnd;
            sigemptyset(&action.sa_mask);
            ::sigaction(signal, &action, nullptr);
        }
    }
#endif
}

#include "io/OutputFile.h"

#include "io/Errors.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace mp3core {

namespace fs = std::filesystem;

namespace {

std::atomic<bool> namedTemporaries{false};
void (*beforeRename)() = nullptr;

// Temporary files are named ".mp3cut-N.part": a name of that form is ours.
constexpr const char *TemporaryPrefix = ".mp3cut-";
constexpr const char *TemporarySuffix = ".part";

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
    return folder / (TemporaryPrefix + std::to_string(random() % 1000000000) + TemporarySuffix);
}

#ifndef _WIN32
// A writer holds a lock on its temporary file for as long as the file is its own, so that a
// file of a temporary name that nobody holds was left by a run that ended before it could
// rename it (SIGKILL between the two steps of replacing a file), and may be removed.
void Hold(int fd)
{
    ::flock(fd, LOCK_EX | LOCK_NB);
}
#endif

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

bool ForeignLinkInSharedFolder(const fs::path &link)
{
#ifdef _WIN32
    (void)link;
    return false;
#else
    // The kernel's rule for following links (protected_symlinks): in a sticky folder that
    // everyone may write to, a link is followed only when its owner is the folder's or the
    // user's. The program follows its output's links itself, so it applies the rule itself.
    struct stat l
    {
    };
    struct stat folder
    {
    };
    if (::lstat(link.c_str(), &l) != 0 || !S_ISLNK(l.st_mode) ||
        ::stat(FolderOf(link).c_str(), &folder) != 0) {
        return false;
    }
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return shared && l.st_uid != folder.st_uid && l.st_uid != ::geteuid();
#endif
}

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
        if (ForeignLinkInSharedFolder(path)) {
            throw EFOpenError("\"" + path.string() +
                                  "\" is a link that another user made in a "
                                  "shared folder",
                              EACCES);
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
            Hold(fd);
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
#ifndef _WIN32
            Hold(stream_->Handle());
            struct stat st
            {
            };
            if (::fstat(stream_->Handle(), &st) == 0 && st.st_nlink == 0) {
                // Taken for an abandoned file and removed before it was held: another name.
                stream_.reset();
                Unregister(slot_);
                if (attempt >= 16) {
                    OpenFailed(target_, EEXIST);
                }
                continue;
            }
#endif
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
    if (beforeRename != nullptr) {
        beforeRename();
    }
    // The file stays open, and so held, until it has the target's name.
    fs::rename(temp_, target_, ec);
    stream_.reset();
#else
    stream_.reset();
    fs::rename(temp_, target_, ec);
#endif
    if (ec) {
        throw EWriteError(ec.value()); // the destructor removes the temporary file
    }
    committed_ = true;
    Unregister(slot_);
}

void TOutputFile::BeforeRename(void (*hook)())
{
    beforeRename = hook;
}

void RemoveAbandonedTemporaries(const fs::path &folder)
{
#ifndef _WIN32
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const size_t prefix = std::strlen(TemporaryPrefix);
        const size_t suffix = std::strlen(TemporarySuffix);
        if (name.size() <= prefix + suffix || name.compare(0, prefix, TemporaryPrefix) != 0 ||
            name.compare(name.size() - suffix, suffix, TemporarySuffix) != 0 ||
            name.find_first_not_of("0123456789", prefix) != name.size() - suffix) {
            continue;
        }
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        struct stat held
        {
        };
        struct stat named
        {
        };
        // Nobody holds it, and the name still stands for the file that was opened.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
            S_ISREG(held.st_mode) && ::lstat(it->path().c_str(), &named) == 0 &&
            named.st_ino == held.st_ino && named.st_dev == held.st_dev) {
            ::unlink(it->path().c_str());
        }
        ::close(fd);
    }
#else
    (void)folder;
#endif
}

bool ReadOnlyFile(const fs::path &file)
{
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (ec || !fs::is_regular_file(status)) {
        return false;
    }
    constexpr fs::perms Write =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & Write) == fs::perms::none) {
        return true;
    }
#ifndef _WIN32
    return ::access(file.c_str(), W_OK) != 0 && errno == EACCES;
#else
    return false;
#endif
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

} // namespace mp3core

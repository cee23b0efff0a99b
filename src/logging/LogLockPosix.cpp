#include "logging/LogLockPosix.h"

#include "base/Hex.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace glowkite {

namespace {

std::string SystemText(int error)
{
    return std::strerror(error);
}

// A folder of `uid` that nobody else can enter or change, not a link.
bool PrivateFolderOf(const std::string &dir, uid_t uid)
{
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
           (st.st_mode & 0777) == 0700;
}

// Opens (creating it, 0600) the lock file `file` in the folder `dirFd`;
// only a regular file is taken, without following a link.
int OpenLockFile(int dirFd, const std::string &shownName, const char *file)
{
    int fd = ::openat(dirFd, file, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                      0600);
    if (fd < 0)
        throw ELogError("Cannot open lock file " + shownName + ": " + SystemText(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw ELogError("Cannot open lock file " + shownName + ": it is not a regular file");
    }
    return fd;
}

// Takes the flock of `fd` within `timeout`, else raises (`fd` stays open).
void Acquire(int fd, std::string_view name, const std::string &shownName,
             std::chrono::milliseconds timeout)
{
    // flock has no time-out of its own: poll, backing off from 0.1 ms to 10 ms.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto pause = std::chrono::microseconds(100);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            throw ELogError("Cannot lock " + shownName + ": " + SystemText(errno));
        }
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            throw ELogError("The log lock \"" + std::string(name) + "\" was not free within " +
                            std::to_string(timeout.count()) +
                            " ms: another writer holds it; the line was not written");
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
}

// The lock file of `name` in the lock folder `dir`; raises when the folder is refused.
int OpenOwnLockFile(const std::string &dir, std::string_view name, std::string &shownName)
{
    const std::string file = LockFileName(name);
    shownName = dir + "/" + file;
    int dirFd = OpenPrivateDirectory(dir);
    try {
        int fd = OpenLockFile(dirFd, shownName, file.c_str());
        ::close(dirFd);
        return fd;
    } catch (...) {
        ::close(dirFd);
        throw;
    }
}

// The lock file of `name` beside the log, in `fallbackFolder`, after its own
// folder was `refused`; -1 when that fails too. `refusal` says which.
int OpenBesideLog(std::string_view name, const ELogError &refused, const std::string &fallbackFolder,
                  std::string &shownName, std::string &refusal)
{
    // The log's own folder is the user's: a lock file there still
    // serialises every writer of this log that is refused alike.
    const std::string file = LockFileName(name);
    const std::string dir = fallbackFolder.empty() ? std::string(".") : fallbackFolder;
    shownName = fallbackFolder + (fallbackFolder.empty() || fallbackFolder.back() == '/' ? "" : "/") + file;
    refusal = std::string(refused.what()) + ". The log lock \"" + std::string(name) + "\" ";
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    try {
        if (dirFd < 0)
            throw ELogError("Cannot open " + dir + ": " + SystemText(errno));
        const int fd = OpenLockFile(dirFd, shownName, file.c_str());
        ::close(dirFd);
        refusal += "is taken in " + shownName + " instead.";
        return fd;
    } catch (const ELogError &alsoRefused) {
        if (dirFd >= 0)
            ::close(dirFd);
        refusal += "cannot be had beside the log either (" + std::string(alsoRefused.what()) +
                   "): lines are written without it, each in one append.";
        return -1;
    }
}

// Takes the flock of the freshly opened `fd`; closes it when that fails.
void AcquireOrClose(int fd, std::string_view name, const std::string &shownName,
                    std::chrono::milliseconds timeout)
{
    try {
        Acquire(fd, name, shownName, timeout);
    } catch (...) {
        ::close(fd);
        throw;
    }
}

// True when the open lock file is no longer in its folder (removed by a
// clean-up): a writer opening the name now would get another file.
bool Removed(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) != 0 || st.st_nlink == 0;
}

} // namespace

std::string LockDirectory(uid_t uid, const std::string &home, const std::string &runUser)
{
    const std::string runtime = runUser + "/" + std::to_string(uid);
    if (PrivateFolderOf(runtime, uid))
        return runtime + "/glowkite-locks";
    return home + "/.local/state/glowkite/locks";
}

std::string UserHome(uid_t uid)
{
    static std::mutex guard;
    static uid_t cachedUid = static_cast<uid_t>(-1);
    static std::string cachedHome;
    std::lock_guard lock(guard);
    if (uid != cachedUid) {
        std::vector<char> buffer(16384);
        passwd entry {};
        passwd *found = nullptr;
        cachedHome.clear();
        if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
            found->pw_dir)
            cachedHome = found->pw_dir;
        cachedUid = uid;
    }
    return cachedHome;
}

std::string OwnLockDirectory()
{
    const char *configured = std::getenv("GLOWKITE_LOCK_DIR");
    if (configured != nullptr && configured[0] == '/')
        return configured;
    const uid_t uid = ::geteuid();
    return LockDirectory(uid, UserHome(uid));
}

std::string LockFileName(std::string_view name)
{
    std::string encoded;
    for (unsigned char c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_';
        if (plain) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            AppendHex(encoded, c);
        }
    }
    constexpr std::size_t kMaxEncoded = 200; // file names may have 255 bytes
    if (encoded.size() > kMaxEncoded) {
        std::uint64_t hash = 14695981039346656037ull; // FNV-1a over the whole name
        for (unsigned char c : name)
            hash = (hash ^ c) * 1099511628211ull;
        char tail[24];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
        encoded.resize(kMaxEncoded);
        encoded += tail;
    }
    return encoded + ".lock";
}

int OpenPrivateDirectory(const std::string &dir)
{
    if (::mkdir(dir.c_str(), 0700) != 0 && errno == ENOENT) {
        // The per-user state folder may not exist yet: its parents get 0700
        // too. What is already there is checked below, at the last level.
        for (std::size_t pos = dir.find('/', 1); pos != std::string::npos; pos = dir.find('/', pos + 1))
            ::mkdir(dir.substr(0, pos).c_str(), 0700);
        ::mkdir(dir.c_str(), 0700);
    }
    // O_NOFOLLOW refuses a symlink planted in place of the directory; the
    // checks then run on what was really opened.
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throw ELogError("Cannot open lock directory " + dir + ": " + SystemText(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int error = errno;
        ::close(fd);
        throw ELogError("Cannot check lock directory " + dir + ": " + SystemText(error));
    }
    if (st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        ::close(fd);
        throw ELogError("Lock directory " + dir +
                        " is not private (it must belong to this user and have mode 0700)");
    }
    return fd;
}

NamedLock::NamedLock(std::string_view name, std::chrono::milliseconds timeout)
{
    std::string shownName;
    fd_ = OpenOwnLockFile(OwnLockDirectory(), name, shownName);
    AcquireOrClose(fd_, name, shownName, timeout);
}

NamedLock::NamedLock(NamedLockPlace &place, std::string_view name, std::chrono::milliseconds timeout,
                     const std::string &fallbackFolder)
{
    // The folder is looked up with every hold, so that a writer started
    // before the user's runtime folder existed meets the others once it does.
    const std::string folder = OwnLockDirectory();
    if (place.fd_ >= 0 && (place.folder_ != folder || place.name_ != name || Removed(place.fd_)))
        place.Close();
    if (place.fd_ < 0) {
        try {
            place.fd_ = OpenOwnLockFile(folder, name, place.shown_);
            place.folder_ = folder;
            place.name_ = name;
        } catch (const ELogError &refused) {
            std::string shownName;
            fd_ = OpenBesideLog(name, refused, fallbackFolder, shownName, refusal_);
            if (fd_ >= 0)
                AcquireOrClose(fd_, name, shownName, timeout);
            return;
        }
    }
    Acquire(place.fd_, name, place.shown_, timeout);
    fd_ = place.fd_;
    kept_ = true;
}

NamedLock::~NamedLock()
{
    if (fd_ < 0)
        return;
    // Closing the only descriptor of the lock file releases the flock; a
    // place's descriptor stays open for the next hold.
    if (kept_)
        ::flock(fd_, LOCK_UN);
    else
        ::close(fd_);
}

void NamedLockPlace::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    folder_.clear();
    shown_.clear();
    name_.clear();
}

} // namespace glowkite

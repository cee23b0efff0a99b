#include "logging/LogLockPosix.h"

#include "base/Hex.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace glowkite {

namespace {

std::string SystemText(int error)
{
    return std::strerror(error);
}

} // namespace

std::string LockDirectory(const char *runtimeDir, uid_t uid)
{
    if (runtimeDir != nullptr && runtimeDir[0] == '/')
        return std::string(runtimeDir) + "/glowkite-locks";
    return "/tmp/glowkite-locks-" + std::to_string(uid);
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
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw ELogError("Cannot create lock directory " + dir + ": " + SystemText(errno));
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
    const std::string dir = LockDirectory(std::getenv("XDG_RUNTIME_DIR"), ::geteuid());
    const std::string file = LockFileName(name);
    int dirFd = OpenPrivateDirectory(dir);
    fd_ = ::openat(dirFd, file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    int openError = errno;
    ::close(dirFd);
    if (fd_ < 0)
        throw ELogError("Cannot open lock file " + dir + "/" + file + ": " + SystemText(openError));

    // flock has no time-out of its own: poll, backing off from 0.1 ms to 10 ms.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto pause = std::chrono::microseconds(100);
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
            return;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            int error = errno;
            ::close(fd_);
            throw ELogError("Cannot lock " + dir + "/" + file + ": " + SystemText(error));
        }
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            ::close(fd_);
            throw ELogError("The log lock \"" + std::string(name) + "\" was not free within " +
                            std::to_string(timeout.count()) +
                            " ms: another writer holds it; the line was not written");
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
}

NamedLock::~NamedLock()
{
    // Closing the only descriptor of the lock file releases the flock.
    ::close(fd_);
}

} // namespace glowkite

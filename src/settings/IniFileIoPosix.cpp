// The settings file's file calls on POSIX.
#include "settings/IniFileIo.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace glowkite {

namespace {

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

int OpenForWriting(const std::string &name, int extraFlags, mode_t mode = 0)
{
    for (;;) {
        int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC | extraFlags, mode);
        if (fd >= 0 || errno != EINTR)
            return fd;
    }
}

} // namespace

// The whole file; an absent file is empty. nullopt: it exists but cannot be read.
std::optional<std::string> ReadIniFile(const std::string &fileName)
{
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return n == 0 ? std::optional<std::string>(std::move(content)) : std::nullopt;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

// A new copy is written beside the file and renamed over it, so a crash or a
// full disk never leaves half a settings file. Where the folder refuses new
// files but the file itself is writable, the file is rewritten in place.
bool StoreIniFile(const std::string &fileName, const std::string &content)
{
    // A settings file reached through a symlink stays a symlink.
    std::string target = fileName;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char *resolved = ::realpath(fileName.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists) {
        // A read-only file stays unwritten even where the folder would allow a rename.
        int probe = OpenForWriting(target, 0);
        if (probe < 0)
            return false;
        ::close(probe);
    }

    std::size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "." + base + "." + std::to_string(::getpid()) + "." +
               std::to_string(counter++) + ".tmp";
        fd = OpenForWriting(temp, O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }

    if (fd >= 0) {
        if (exists)
            (void)::fchmod(fd, st.st_mode & 07777);
        bool ok = WriteAll(fd, content) && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        if (ok && ::rename(temp.c_str(), target.c_str()) == 0)
            return true;
        ::unlink(temp.c_str());
        return false;
    }
    if (!exists)
        return false;
    fd = OpenForWriting(target, 0);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, content) && ::ftruncate(fd, static_cast<off_t>(content.size())) == 0;
    return ::close(fd) == 0 && ok;
}

} // namespace glowkite

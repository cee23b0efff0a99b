// The log writer's file calls on POSIX.
#include "logging/LogFileIo.h"
#include "logging/LogLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace glowkite {

namespace {

ELogError SystemError(const std::string &what, const std::string &file, int error)
{
    return ELogError(what + " " + file + ": " + std::strerror(error));
}

// Closes the log file on every path out of WriteLine.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

const char *KindOf(mode_t mode)
{
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "not a plain file";
}

ELogError NotAFile(const std::string &name, mode_t mode)
{
    return ELogError("Cannot open " + name + ": it is " + KindOf(mode) + ", not a regular file");
}

// Why an existing `name` could not be opened: something other than a file
// there is named as such; a file we may not write keeps the plain message.
ELogError CannotOpen(const std::string &name)
{
    struct stat st {};
    if (::lstat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return NotAFile(name, st.st_mode);
    return ELogError("Cannot open " + name);
}

// Only a regular file is written: a link could point anywhere (another
// user's file), and a FIFO or a device would block or swallow the lines.
// O_NONBLOCK lets the open of a FIFO return instead of waiting for a reader;
// it is cleared again, for the file's writes.
int Accept(int fd, const std::string &name)
{
    FileHandle file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw SystemError("Cannot check", name, errno);
    if (!S_ISREG(st.st_mode))
        throw NotAFile(name, st.st_mode);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        throw SystemError("Cannot open", name, errno);
    return file.release();
}

// Opens an existing file for appending, or creates it. The two failures
// differ: an existing file that cannot be opened is "Cannot open", a new file
// that cannot be made is a system error.
int OpenOrCreate(const std::string &name)
{
    constexpr int kAppend = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (;;) {
        int fd = ::open(name.c_str(), kAppend);
        if (fd >= 0)
            return Accept(fd, name);
        if (errno == EINTR)
            continue;
        if (errno != ENOENT)
            throw CannotOpen(name);
        // O_EXCL never follows a link either: a dangling one is EEXIST, and
        // the next round refuses it.
        fd = ::open(name.c_str(), kAppend | O_CREAT | O_EXCL, 0666);
        if (fd >= 0)
            return Accept(fd, name);
        if (errno != EEXIST && errno != EINTR)
            throw SystemError("Cannot create file", name, errno);
        // Another process created it in between: open that one.
    }
}

} // namespace

const char kLogDirSeparator = '/';

bool IsLogDirSeparator(char c)
{
    return c == '/';
}

bool EnsureLogFolder(const std::string &dir)
{
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    // One level only; a folder made meanwhile by another writer is fine.
    return ::mkdir(dir.c_str(), 0777) == 0 ||
           (errno == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

void AppendToLogFile(const std::string &name, std::string_view output)
{
    FileHandle file(OpenOrCreate(name));
    // O_APPEND: the kernel puts each write at the end of the file as it is
    // then, so a writer that does not share our lock (another environment,
    // another machine's idea of the lock) can never overwrite this line, nor
    // this one that writer's.
    std::string_view rest = output;
    off_t start = -1; // where our bytes begin, once a write was cut short
    while (!rest.empty()) {
        const ssize_t n = ::write(file.get(), rest.data(), rest.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            if (start >= 0) {
                // A line cut short (disk full, size limit) would glue itself
                // to the next one: take the piece back so that the file stays
                // line by line.
                while (::ftruncate(file.get(), start) != 0 && errno == EINTR) {
                }
            }
            throw SystemError("Cannot write", name, error);
        }
        if (start < 0 && static_cast<std::size_t>(n) < rest.size())
            start = ::lseek(file.get(), 0, SEEK_CUR) - n;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    // EINTR from close still closes the file on Linux; nothing is lost.
    if (::close(file.release()) != 0 && errno != EINTR)
        throw SystemError("Cannot close", name, errno);
}

} // namespace glowkite

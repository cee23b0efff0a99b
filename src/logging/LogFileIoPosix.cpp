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

// Opens an existing file for writing, or creates it. The two failures differ:
// an existing file that cannot be opened is "Cannot open", a new file that
// cannot be made is a system error.
int OpenOrCreate(const std::string &name)
{
    for (;;) {
        int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd >= 0)
            return fd;
        if (errno == EINTR)
            continue;
        if (errno != ENOENT)
            throw ELogError("Cannot open " + name);
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST && errno != EINTR)
            throw SystemError("Cannot create file", name, errno);
        // Another process created it in between: open that one.
    }
}

// Writes all of `data` at `offset`, through partial writes and signals.
// Returns 0 or the errno of the failure.
int WriteAll(int fd, std::string_view data, off_t offset)
{
    while (!data.empty()) {
        ssize_t n = ::pwrite(fd, data.data(), data.size(), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        data.remove_prefix(static_cast<std::size_t>(n));
        offset += n;
    }
    return 0;
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
    struct stat st {};
    if (::fstat(file.get(), &st) != 0)
        throw SystemError("Cannot read the size of", name, errno);
    const off_t sizeBefore = st.st_size;
    if (int error = WriteAll(file.get(), output, sizeBefore)) {
        // A line cut short (disk full, size limit) would glue itself to the
        // next one: take the piece back so that the file stays line by line.
        while (::ftruncate(file.get(), sizeBefore) != 0 && errno == EINTR) {
        }
        throw SystemError("Cannot write", name, error);
    }
    // EINTR from close still closes the file on Linux; nothing is lost.
    if (::close(file.release()) != 0 && errno != EINTR)
        throw SystemError("Cannot close", name, errno);
}

} // namespace glowkite

#include "logging/LOGFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <optional>
#include <utility>

namespace glowkite {

namespace {

std::string DateCodeOf(const LocalTime &t)
{
    char code[16];
    std::snprintf(code, sizeof code, "%02d%02d%02d", t.year % 100, t.month % 100, t.day % 100);
    return code;
}

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

TLogFile::TLogFile(Clock clock) : clock_(std::move(clock)) {}

std::string TLogFile::DateCode() const
{
    return DateCodeOf(clock_());
}

std::string TLogFile::NormalisedExtension() const
{
    if (Extension.empty() || Extension[0] == '.')
        return Extension;
    return "." + Extension;
}

std::string TLogFile::NormalisedDirectory() const
{
    if (Directory.empty() || Directory.back() == '/')
        return Directory;
    return Directory + "/";
}

std::string TLogFile::FileName(const LocalTime &t) const
{
    std::string datePart;
    switch (Period) {
    case lpDay: datePart = "_" + DateCodeOf(t); break;
    case lpMonth: datePart = "_" + DateCodeOf(t).substr(0, 4); break;
    case lpYear: datePart = "_" + DateCodeOf(t).substr(0, 2); break;
    default: break;
    }
    return NormalisedDirectory() + BaseName + datePart + NormalisedExtension();
}

std::string TLogFile::MakeStamp(TLogStamp stamp, const LocalTime &t) const
{
    if (stamp == lsNone)
        return {};
    char text[64];
    std::string result;
    if (Options & loDate) {
        std::snprintf(text, sizeof text, "%04d.%02d.%02d ", t.year, t.month, t.day);
        result += text;
    }
    if (Options & loTimeMs) {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d ", t.hour, t.minute, t.second,
                      t.millisecond);
        result += text;
    } else if (Options & loTime) {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d ", t.hour, t.minute, t.second);
        result += text;
    }
    if (stamp == lsBlank)
        result.assign(result.size(), ' ');
    return result;
}

void TLogFile::WriteLine(std::string_view Text, TLogStamp Stamp)
{
    Extension = NormalisedExtension();
    if (!Directory.empty()) {
        struct stat st {};
        bool isFolder = ::stat(Directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        // One level only; a folder made meanwhile by another writer is fine.
        if (!isFolder && ::mkdir(Directory.c_str(), 0777) != 0 &&
            !(errno == EEXIST && ::stat(Directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
            throw ELogError("Cannot create " + Directory);
        Directory = NormalisedDirectory();
    }

    const LocalTime now = clock_();
    const std::string name = FileName(now);
    std::string output;
    if (Options & loRaw) {
        output.assign(Text);
    } else {
        output = MakeStamp(Stamp, now);
        output.append(Text);
        output += "\r\n";
    }

    // Once the lock was not had in time, the following lines try it only
    // briefly until it is free again: waiting 5 s for every frame would stop
    // reception itself. They fail with the first line's message.
    std::optional<NamedLock> lock;
    try {
        lock.emplace(BaseName, lockStuck_.empty() ? LockTimeout : std::chrono::milliseconds(0));
    } catch (const ELogError &e) {
        if (lockStuck_.empty())
            lockStuck_ = e.what();
        throw ELogError(lockStuck_);
    }
    lockStuck_.clear();
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

// The log writer's file calls on Windows.
#include "logging/LogFileIo.h"
#include "logging/LogLock.h"

#include <system_error>
#include <windows.h>

namespace glowkite {

namespace {

ELogError SystemError(const std::string &what, const std::string &file, DWORD code)
{
    return ELogError(what + " " + file + ": " + std::system_category().message(static_cast<int>(code)));
}

bool IsFolder(const std::string &dir)
{
    const DWORD attributes = GetFileAttributesA(dir.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Only a plain disk file is written: a link (any reparse point) could point
// anywhere, and a pipe or a device would block or swallow the lines.
void Accept(HANDLE h, const std::string &name)
{
    BY_HANDLE_FILE_INFORMATION info{};
    const char *kind = nullptr;
    if (GetFileType(h) != FILE_TYPE_DISK)
        kind = "a device or pipe";
    else if (!GetFileInformationByHandle(h, &info))
        kind = "not readable as a file";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        kind = "a link (reparse point)";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        kind = "a folder";
    if (kind) {
        CloseHandle(h);
        throw ELogError("Cannot open " + name + ": it is " + kind + ", not a regular file");
    }
}

// Opens an existing file for appending, or creates it; shared for reading
// and writing. FILE_APPEND_DATA alone: every write goes to the end of the
// file as it is then, so writers that do not share a lock never overwrite
// each other. An existing file that cannot be opened is "Cannot open".
HANDLE OpenOrCreate(const std::string &name)
{
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    constexpr DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    for (;;) {
        HANDLE h = CreateFileA(name.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            Accept(h, name);
            return h;
        }
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            const DWORD attributes = GetFileAttributesA(name.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                throw ELogError("Cannot open " + name + ": it is a folder, not a regular file");
            throw ELogError("Cannot open " + name);
        }
        h = CreateFileA(name.c_str(), access, share, nullptr, CREATE_NEW, flags, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            Accept(h, name);
            return h;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS)
            throw SystemError("Cannot create file", name, code);
        // Another process created it in between: open that one.
    }
}

// Cuts `name` back to `size` bytes: an append-only handle cannot.
void TruncateTo(const std::string &name, LARGE_INTEGER size)
{
    HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    if (SetFilePointerEx(h, size, nullptr, FILE_BEGIN))
        SetEndOfFile(h);
    CloseHandle(h);
}

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle()
    {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    HANDLE get() const { return h_; }
    HANDLE release()
    {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE h_;
};

} // namespace

const char kLogDirSeparator = '\\';

bool IsLogDirSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool EnsureLogFolder(const std::string &dir)
{
    return IsFolder(dir) || CreateDirectoryA(dir.c_str(), nullptr) || IsFolder(dir);
}

void AppendToLogFile(const std::string &name, std::string_view output)
{
    FileHandle file(OpenOrCreate(name));
    // Under the lock nobody else appends meanwhile: this is where our bytes begin.
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        throw SystemError("Cannot read the size of", name, GetLastError());
    DWORD written = 0;
    const BOOL ok = WriteFile(file.get(), output.data(), static_cast<DWORD>(output.size()), &written, nullptr);
    if (!ok || written != output.size()) {
        const DWORD code = ok ? ERROR_DISK_FULL : GetLastError();
        // A line cut short would glue itself to the next one: take it back.
        CloseHandle(file.release());
        if (written > 0)
            TruncateTo(name, size);
        throw SystemError("Cannot write", name, code);
    }
    if (!CloseHandle(file.release()))
        throw SystemError("Cannot close", name, GetLastError());
}

} // namespace glowkite

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

// Opens an existing file for writing, or creates it; shared for reading and
// writing. An existing file that cannot be opened is "Cannot open".
HANDLE OpenOrCreate(const std::string &name)
{
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    for (;;) {
        HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            return h;
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            throw ELogError("Cannot open " + name);
        h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            return h;
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS)
            throw SystemError("Cannot create file", name, code);
        // Another process created it in between: open that one.
    }
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
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        throw SystemError("Cannot read the size of", name, GetLastError());
    if (!SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN))
        throw SystemError("Cannot write", name, GetLastError());
    DWORD written = 0;
    const BOOL ok = WriteFile(file.get(), output.data(), static_cast<DWORD>(output.size()), &written, nullptr);
    if (!ok || written != output.size()) {
        const DWORD code = ok ? ERROR_DISK_FULL : GetLastError();
        // A line cut short would glue itself to the next one: take it back.
        SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN);
        SetEndOfFile(file.get());
        throw SystemError("Cannot write", name, code);
    }
    if (!CloseHandle(file.release()))
        throw SystemError("Cannot close", name, GetLastError());
}

} // namespace glowkite

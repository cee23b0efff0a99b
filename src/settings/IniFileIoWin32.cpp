// The settings file's file calls on Windows.
#include "settings/IniFileIo.h"

#include <atomic>
#include <windows.h>

namespace glowkite {

namespace {

bool WriteAll(HANDLE h, const std::string &content)
{
    DWORD written = 0;
    return WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

} // namespace

std::optional<std::string> ReadIniFile(const std::string &fileName)
{
    HANDLE h = CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return std::string();
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    DWORD n = 0;
    bool ok;
    while ((ok = ReadFile(h, buffer, sizeof buffer, &n, nullptr)) && n > 0)
        content.append(buffer, n);
    CloseHandle(h);
    if (!ok)
        return std::nullopt;
    return content;
}

// A new copy is written beside the file and moved over it, so a crash or a
// full disk never leaves half a settings file. Where the folder refuses new
// files but the file itself is writable, the file is rewritten in place.
bool StoreIniFile(const std::string &fileName, const std::string &content)
{
    const DWORD attributes = GetFileAttributesA(fileName.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;

    static std::atomic<unsigned> counter{0};
    std::string temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = fileName + "." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(counter++) + ".tmp";
        h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (h != INVALID_HANDLE_VALUE) {
        bool ok = WriteAll(h, content) && FlushFileBuffers(h);
        ok = CloseHandle(h) && ok;
        if (ok && MoveFileExA(temp.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DeleteFileA(temp.c_str());
        return false;
    }
    if (!exists)
        return false;
    h = CreateFileA(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, TRUNCATE_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = WriteAll(h, content);
    return CloseHandle(h) && ok;
}

} // namespace glowkite

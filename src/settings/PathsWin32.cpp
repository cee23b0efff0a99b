// Where the program's files go on Windows.
#include "settings/Paths.h"
#include "settings/PathsPlatform.h"

#include <cstdlib>
#include <windows.h>

namespace glowkite {

const TPathConventions kPathConventions{'\\', "\\/", "\\AppData\\Roaming", "\\AppData\\Local", true};

bool IsAbsolutePath(const std::string &path)
{
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    return drive || path.rfind("\\\\", 0) == 0;
}

bool IsFile(const std::string &path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string OwnProgramPath()
{
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Access rights on Windows are lists that no mode bits summarise: the one
// reliable answer is to create a file there.
bool FolderWritable(const std::string &folder)
{
    std::string probe = folder.empty() ? std::string(".") : folder;
    if (probe.back() != '\\' && probe.back() != '/')
        probe += '\\';
    probe += "glowkite-write-probe-" + std::to_string(GetCurrentProcessId()) + ".tmp";
    const HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

PathEnvironment SystemPathEnvironment()
{
    auto value = [](const char *name) {
        const char *v = std::getenv(name);
        return std::string(v ? v : "");
    };
    return PathEnvironment{value("APPDATA"), value("LOCALAPPDATA"), value("USERPROFILE")};
}

void CreateFolders(const std::vector<std::string> &folders)
{
    for (const std::string &folder : folders) {
        for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
            if (pos == folder.size() || folder[pos] == '\\' || folder[pos] == '/')
                CreateDirectoryA(folder.substr(0, pos).c_str(), nullptr);
        }
    }
}

} // namespace glowkite

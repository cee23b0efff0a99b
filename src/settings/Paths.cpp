#include "settings/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glowkite {

namespace {

std::size_t NameStart(const std::string &path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string UserFolder(const std::string &xdgValue, const std::string &home,
                       const char *homeRelative)
{
    if (!xdgValue.empty() && xdgValue.front() == '/')
        return xdgValue;
    return home + homeRelative;
}

std::string WithTrailingSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace

std::string IniFileNameFor(const std::string &programPath)
{
    std::size_t nameStart = NameStart(programPath);
    std::size_t dot = programPath.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        return programPath + ".INI";
    return programPath.substr(0, dot) + ".INI";
}

ProgramPaths ResolveProgramPaths(const std::string &programPath, bool programFolderWritable,
                                 const PathEnvironment &environment, const PathOverrides &overrides)
{
    ProgramPaths paths;
    const std::string programFolder = programPath.substr(0, NameStart(programPath));
    bool userIni = overrides.IniFile.empty() && !programFolderWritable;
    bool userLog = overrides.LogDir.empty() && !programFolderWritable;

    if (!overrides.IniFile.empty()) {
        paths.IniFile = overrides.IniFile;
    } else if (!userIni) {
        paths.IniFile = IniFileNameFor(programPath);
    } else {
        std::string iniName = IniFileNameFor(programPath.substr(NameStart(programPath)));
        std::string folder =
            UserFolder(environment.XdgConfigHome, environment.Home, "/.config") + "/glowkite";
        paths.IniFile = folder + "/" + iniName;
        paths.FoldersToCreate.push_back(folder);
    }

    if (!overrides.LogDir.empty()) {
        paths.LogDir = WithTrailingSlash(overrides.LogDir);
    } else if (!userLog) {
        paths.LogDir = programFolder + "LOG/";
    } else {
        std::string folder =
            UserFolder(environment.XdgDataHome, environment.Home, "/.local/share") + "/glowkite";
        paths.LogDir = folder + "/LOG/";
        paths.FoldersToCreate.push_back(folder);
    }
    return paths;
}

std::string OwnProgramPath()
{
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool FolderWritable(const std::string &folder)
{
    // AT_EACCESS: the rights this process really has, not those of its real user.
    return ::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) ==
           0;
}

PathEnvironment SystemPathEnvironment()
{
    auto value = [](const char *name) {
        const char *v = std::getenv(name);
        return std::string(v ? v : "");
    };
    PathEnvironment environment{value("XDG_CONFIG_HOME"), value("XDG_DATA_HOME"), value("HOME")};
    if (environment.Home.empty()) {
        if (const passwd *user = ::getpwuid(::geteuid()))
            environment.Home = user->pw_dir ? user->pw_dir : "";
    }
    return environment;
}

ProgramPaths SystemProgramPaths(const PathOverrides &overrides)
{
    const std::string program = OwnProgramPath();
    const bool writable = FolderWritable(program.substr(0, NameStart(program)));
    ProgramPaths paths = ResolveProgramPaths(program, writable, SystemPathEnvironment(), overrides);
    CreateFolders(paths.FoldersToCreate);
    return paths;
}

void CreateFolders(const std::vector<std::string> &folders)
{
    for (const std::string &folder : folders) {
        for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
            if (pos == folder.size() || folder[pos] == '/')
                ::mkdir(folder.substr(0, pos).c_str(), 0777);
        }
    }
}

} // namespace glowkite

#include "settings/Paths.h"

#include "settings/PathsPlatform.h"

#include <string_view>

namespace glowkite {

namespace {

std::size_t NameStart(const std::string &path)
{
    std::size_t separator = path.find_last_of(kPathConventions.Separators);
    return separator == std::string::npos ? 0 : separator + 1;
}

std::string UserFolder(const std::string &configuredValue, const std::string &home,
                       const char *homeRelative)
{
    if (!configuredValue.empty() && IsAbsolutePath(configuredValue))
        return configuredValue;
    return home + homeRelative;
}

std::string WithTrailingSeparator(std::string folder)
{
    if (folder.empty() || std::string_view(kPathConventions.Separators).find(folder.back()) == std::string_view::npos)
        folder += kPathConventions.Separator;
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
    const std::string sep(1, kPathConventions.Separator);
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
            UserFolder(environment.XdgConfigHome, environment.Home, kPathConventions.ConfigFallback) + sep +
            "glowkite";
        paths.IniFile = folder + sep + iniName;
        paths.FoldersToCreate.push_back(folder);
    }

    if (!overrides.LogDir.empty()) {
        paths.LogDir = WithTrailingSeparator(overrides.LogDir);
    } else if (!userLog) {
        paths.LogDir = programFolder + "LOG" + sep;
    } else {
        std::string folder =
            UserFolder(environment.XdgDataHome, environment.Home, kPathConventions.DataFallback) + sep +
            "glowkite";
        paths.LogDir = folder + sep + "LOG" + sep;
        paths.FoldersToCreate.push_back(folder);
    }
    return paths;
}

ProgramPaths SystemProgramPaths(const PathOverrides &overrides)
{
    const std::string program = OwnProgramPath();
    const bool writable = FolderWritable(program.substr(0, NameStart(program)));
    ProgramPaths paths = ResolveProgramPaths(program, writable, SystemPathEnvironment(), overrides);
    CreateFolders(paths.FoldersToCreate);
    return paths;
}

} // namespace glowkite

#include "settings/Paths.h"

#include "settings/PathsPlatform.h"

#include <string_view>

namespace glowkite {

namespace {

// The window's program name: its settings file is the one both programs use.
constexpr const char *kProgramName = "glowkite";

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

bool EndsWithSeparator(const std::string &folder)
{
    return !folder.empty() &&
           std::string_view(kPathConventions.Separators).find(folder.back()) != std::string_view::npos;
}

std::string WithTrailingSeparator(std::string folder)
{
    if (!EndsWithSeparator(folder))
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

std::string IniFileIn(const std::string &folder)
{
    return IniFileNameFor((folder.empty() ? folder : WithTrailingSeparator(folder)) + kProgramName);
}

ProgramPaths ResolveProgramPaths(const std::string &programPath, bool portable,
                                 const PathEnvironment &environment, const PathOverrides &overrides)
{
    ProgramPaths paths;
    const std::string sep(1, kPathConventions.Separator);
    const std::string programFolder = programPath.substr(0, NameStart(programPath));

    if (!overrides.IniFile.empty()) {
        paths.IniFile = overrides.IniFile;
    } else if (portable) {
        paths.IniFile = IniFileIn(programFolder);
    } else {
        std::string folder =
            UserFolder(environment.XdgConfigHome, environment.Home, kPathConventions.ConfigFallback) + sep +
            "glowkite";
        paths.IniFile = IniFileIn(folder);
        paths.FoldersToCreate.push_back(folder);
    }

    if (!overrides.LogDir.empty()) {
        paths.LogDir = WithTrailingSeparator(overrides.LogDir);
    } else if (portable) {
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

bool InBuildTree(const std::string &programFolder)
{
    std::string folder = programFolder.empty() ? std::string(".") : programFolder;
    for (;;) {
        if (IsFile(WithTrailingSeparator(folder) + "CMakeCache.txt"))
            return true;
        while (EndsWithSeparator(folder) && folder.size() > 1)
            folder.pop_back();
        const std::size_t separator = folder.find_last_of(kPathConventions.Separators);
        if (separator == std::string::npos || EndsWithSeparator(folder))
            return false;
        folder.resize(separator + 1); // the parent, with its separator ("/" at the root)
    }
}

bool PortableInstallation(const std::string &programFolder)
{
    if (InBuildTree(programFolder) || !FolderWritable(programFolder))
        return false;
    const std::string folder = programFolder.empty() ? programFolder : WithTrailingSeparator(programFolder);
    return IsFile(folder + kPortableMarker) || kPathConventions.WritableFolderIsPortable;
}

ProgramPaths SystemProgramPathsUncreated(const PathOverrides &overrides)
{
    const std::string program = OwnProgramPath();
    const bool portable = PortableInstallation(program.substr(0, NameStart(program)));
    return ResolveProgramPaths(program, portable, SystemPathEnvironment(), overrides);
}

ProgramPaths SystemProgramPaths(const PathOverrides &overrides)
{
    ProgramPaths paths = SystemProgramPathsUncreated(overrides);
    CreateFolders(paths.FoldersToCreate);
    return paths;
}

} // namespace glowkite

#pragma once
// Where the program keeps its settings file and its LOG folder. Beside the
// program only for a portable installation that says so; otherwise (also in
// a build tree, which is never the data home) in the user's config and data
// folders. Explicit overrides win over both. The window and glowkite-cli ask
// the same function and get the same answer, whatever their file names.

#include <string>
#include <vector>

namespace glowkite {

// The per-user folders. Windows fills them with %APPDATA%, %LOCALAPPDATA% and
// %USERPROFILE%.
struct PathEnvironment {
    std::string XdgConfigHome; // $XDG_CONFIG_HOME (used only when absolute)
    std::string XdgDataHome;   // $XDG_DATA_HOME (used only when absolute)
    std::string Home;          // $HOME, or the home folder of the user database
};

struct PathOverrides {
    std::string IniFile; // --ini FILE
    std::string LogDir;  // --log-dir DIR
};

struct ProgramPaths {
    std::string IniFile;
    std::string LogDir; // ends with the separator ("/", on Windows "\")
    // Per-user parent folders that must exist before the files can be written
    // (the log writer creates the LOG folder itself, one level only).
    std::vector<std::string> FoldersToCreate;
};

// The file beside the program that marks a portable installation.
inline constexpr const char *kPortableMarker = "glowkite.portable";

// The program's path with its extension replaced by ".INI"; a name without an
// extension gets ".INI" appended. A leading dot of a hidden name is no extension.
std::string IniFileNameFor(const std::string &programPath);

// The settings file in `folder`: named after the window's program,
// "glowkite.INI", for the window and glowkite-cli alike.
std::string IniFileIn(const std::string &folder);

// `portable`: the program's folder is the data home (PortableInstallation).
ProgramPaths ResolveProgramPaths(const std::string &programPath, bool portable,
                                 const PathEnvironment &environment,
                                 const PathOverrides &overrides);

// True when `programFolder` lies in a CMake build tree (a CMakeCache.txt in
// it or in a folder above): deleting the build must not delete the data.
bool InBuildTree(const std::string &programFolder);

// True when the files belong beside the program in `programFolder`: never in
// a build tree; on POSIX only a writable folder with the marker file, on
// Windows also a writable folder without it (an unpacked program folder).
bool PortableInstallation(const std::string &programFolder);

// The running program's own file (/proc/self/exe; on Windows the module file name).
std::string OwnProgramPath();

// True when this process may create files in `folder`.
bool FolderWritable(const std::string &folder);

PathEnvironment SystemPathEnvironment();

// Creates each folder with every missing parent; a failure shows later, when
// a file in it cannot be written.
void CreateFolders(const std::vector<std::string> &folders);

// ResolveProgramPaths for this process, nothing created (e.g. for --help).
ProgramPaths SystemProgramPathsUncreated(const PathOverrides &overrides);

// ResolveProgramPaths for this process, with its folders created.
ProgramPaths SystemProgramPaths(const PathOverrides &overrides);

} // namespace glowkite

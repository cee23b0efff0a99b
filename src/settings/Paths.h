#pragma once
// Where the program keeps its settings file and its LOG folder: beside the
// program when its folder is writable (portable use), otherwise in the
// user's config and data folders; explicit overrides win over both.

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

// The program's path with its extension replaced by ".INI"; a name without an
// extension gets ".INI" appended. A leading dot of a hidden name is no extension.
std::string IniFileNameFor(const std::string &programPath);

ProgramPaths ResolveProgramPaths(const std::string &programPath, bool programFolderWritable,
                                 const PathEnvironment &environment,
                                 const PathOverrides &overrides);

// The running program's own file (/proc/self/exe; on Windows the module file name).
std::string OwnProgramPath();

// True when this process may create files in `folder`.
bool FolderWritable(const std::string &folder);

PathEnvironment SystemPathEnvironment();

// Creates each folder with every missing parent; a failure shows later, when
// a file in it cannot be written.
void CreateFolders(const std::vector<std::string> &folders);

// ResolveProgramPaths for this process, with its folders created.
ProgramPaths SystemProgramPaths(const PathOverrides &overrides);

} // namespace glowkite

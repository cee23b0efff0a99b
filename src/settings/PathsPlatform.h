#pragma once
// The platform's path conventions, for the portable rules in Paths.cpp
// (PathsPosix.cpp, PathsWin32.cpp).

#include <string>

namespace glowkite {

struct TPathConventions {
    char Separator;             // put between a folder and a name
    const char *Separators;     // every character that separates
    const char *ConfigFallback; // below Home when no config folder is set
    const char *DataFallback;   // below Home when no data folder is set
    // A writable program folder counts as portable without the marker (the
    // Windows habit of unpacking a program anywhere).
    bool WritableFolderIsPortable;
};

extern const TPathConventions kPathConventions;

bool IsAbsolutePath(const std::string &path);

// True when `path` names a regular file.
bool IsFile(const std::string &path);

} // namespace glowkite

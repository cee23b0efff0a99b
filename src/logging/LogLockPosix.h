#pragma once
// The parts of the POSIX log lock that tests look at: where the lock files
// live and how they are named.

#include "logging/LogLock.h"

#include <string>
#include <string_view>
#include <sys/types.h>

namespace glowkite {

// "$XDG_RUNTIME_DIR/glowkite-locks" when runtimeDir is an absolute path,
// otherwise "/tmp/glowkite-locks-<uid>".
std::string LockDirectory(const char *runtimeDir, uid_t uid);

// A file name for the lock of `name`: bytes other than letters, digits, "-"
// and "_" become "%XX", so distinct names (also ones differing only in case)
// never share a file. Very long names are shortened with a hash of the whole.
std::string LockFileName(std::string_view name);

// Creates `dir` (mode 0700) if missing, then makes sure it is a real
// directory (not a symlink), owned by us and closed to everybody else;
// otherwise raises ELogError. Returns an open descriptor of the directory.
int OpenPrivateDirectory(const std::string &dir);

} // namespace glowkite

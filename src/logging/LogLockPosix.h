#pragma once
// The parts of the POSIX log lock that tests look at: where the lock files
// live and how they are named.

#include "logging/LogLock.h"

#include <string>
#include <string_view>
#include <sys/types.h>

namespace glowkite {

// The folder of the lock files of user `uid`, from the user alone so that
// every process of the user (window, cron job, service, "sudo -u") finds the
// same: "<runUser>/<uid>/glowkite-locks" when <runUser>/<uid> is a real
// folder (no link) of that user closed to others (mode 0700), else
// "<home>/.local/state/glowkite/locks", where nobody else can create it first.
std::string LockDirectory(uid_t uid, const std::string &home,
                          const std::string &runUser = "/run/user");

// The home folder of `uid` from the user database (not $HOME); empty when
// the user has none.
std::string UserHome(uid_t uid);

// The lock folder of this process: an absolute $GLOWKITE_LOCK_DIR (for test
// runs that must not meet the user's own locks; every process to be
// serialised must then be given the same), else LockDirectory of its user.
std::string OwnLockDirectory();

// A file name for the lock of `name`: bytes other than letters, digits, "-"
// and "_" become "%XX", so distinct names (also ones differing only in case)
// never share a file. Very long names are shortened with a hash of the whole.
std::string LockFileName(std::string_view name);

// Creates `dir` (mode 0700, missing parents too) if missing, then makes sure
// it is a real directory (not a symlink), owned by us and closed to
// everybody else; otherwise raises ELogError. Returns an open descriptor of
// the directory.
int OpenPrivateDirectory(const std::string &dir);

} // namespace glowkite

#pragma once
// The cross-process lock that serialises writers of the same log name: flock
// on one lock file per name in a private per-user directory. The kernel drops
// a flock when its owner dies, so a crashed writer never blocks the next one.

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace glowkite {

// Failures of the log writer and its lock, with a message a user can act on.
class ELogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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

// Holds the lock named `name` for its lifetime. Waits at most `timeout` for
// another holder, then raises ELogError naming the lock and the time.
class NamedLock {
public:
    NamedLock(std::string_view name, std::chrono::milliseconds timeout);
    ~NamedLock();
    NamedLock(const NamedLock &) = delete;
    NamedLock &operator=(const NamedLock &) = delete;

private:
    int fd_ = -1;
};

} // namespace glowkite

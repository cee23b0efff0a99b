#pragma once
// The cross-process lock that serialises writers of the same log name.
// POSIX (LogLockPosix.cpp): flock on one lock file per name in a private
// per-user directory; the kernel drops a flock when its owner dies. Windows
// (LogLockWin32.cpp): a named mutex; one abandoned by a dead owner is taken
// over. Either way a crashed writer never blocks the next one.

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

namespace glowkite {

// Failures of the log writer and its lock, with a message a user can act on.
class ELogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Holds the lock named `name` for its lifetime. Waits at most `timeout` for
// another holder, then raises ELogError naming the lock and the time.
class NamedLock {
public:
    NamedLock(std::string_view name, std::chrono::milliseconds timeout);
    ~NamedLock();
    NamedLock(const NamedLock &) = delete;
    NamedLock &operator=(const NamedLock &) = delete;

private:
#ifdef _WIN32
    void *mutex_ = nullptr;
#else
    int fd_ = -1;
#endif
};

} // namespace glowkite

#pragma once
// The cross-process lock that serialises writers of the same log name.
// POSIX (LogLockPosix.cpp): flock on one lock file per name in a private
// per-user directory found from the user id, so that every process of the
// user meets the same lock whatever its environment; the kernel drops a
// flock when its owner dies. Windows (LogLockWin32.cpp): a named mutex; one
// abandoned by a dead owner is taken over. Either way a crashed writer never
// blocks the next one.

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

// The opened lock of one name (POSIX: its lock file, Windows: its mutex),
// kept between holds so that a writer of many lines opens it once and each
// line costs only the taking and the giving back. It is an opening of its
// own, so it excludes every other holder, one in this process too; a copy
// opens its own again.
class NamedLockPlace {
public:
    NamedLockPlace() = default;
    NamedLockPlace(const NamedLockPlace &) {}
    NamedLockPlace &operator=(const NamedLockPlace &other)
    {
        if (this != &other)
            Close();
        return *this;
    }
    ~NamedLockPlace() { Close(); }
    void Close();

private:
    friend class NamedLock;
#ifdef _WIN32
    void *mutex_ = nullptr;
#else
    int fd_ = -1;
    std::string folder_; // the lock folder it was opened in
    std::string shown_;  // the lock file's full name, for messages
#endif
    std::string name_;
};

// Holds the lock named `name` for its lifetime. Waits at most `timeout` for
// another holder, then raises ELogError naming the lock and the time.
class NamedLock {
public:
    // Raises ELogError also when the lock's own place is refused.
    NamedLock(std::string_view name, std::chrono::milliseconds timeout);
    // Through `place`, which opens the lock on first use (again when the name
    // changes or, on POSIX, when the lock folder moved or the lock file was
    // removed) and keeps it open afterwards.
    // When the lock's own place is refused (a lock folder that is not private),
    // the lock file is taken in `fallbackFolder` (the log's own folder; empty:
    // the working directory), opened anew with every hold so that the own
    // place is tried again each time; if even that fails the caller goes on
    // without a lock: its line is one append and is stored whole all the same.
    // Refusal() then says what happened. Only a lock held elsewhere beyond
    // `timeout` raises.
    NamedLock(NamedLockPlace &place, std::string_view name, std::chrono::milliseconds timeout,
              const std::string &fallbackFolder);
    ~NamedLock();
    NamedLock(const NamedLock &) = delete;
    NamedLock &operator=(const NamedLock &) = delete;

    // Empty when the lock is in its own place; otherwise why not and where it is.
    const std::string &Refusal() const { return refusal_; }

private:
#ifdef _WIN32
    void *mutex_ = nullptr;
#else
    int fd_ = -1;
#endif
    bool kept_ = false; // the opening is a place's: given back, not closed
    std::string refusal_;
};

} // namespace glowkite

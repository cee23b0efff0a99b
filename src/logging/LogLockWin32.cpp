// The log lock on Windows: a named mutex per log name, visible to every
// process of the logged-on user's session.
#include "logging/LogLock.h"

#include <string>
#include <system_error>
#include <windows.h>

namespace glowkite {

namespace {

std::string SystemText(DWORD code)
{
    return std::system_category().message(static_cast<int>(code));
}

// Waits up to `timeout` for `mutex`; raises when it is not had.
void Take(HANDLE mutex, const std::string &lockName, std::chrono::milliseconds timeout)
{
    const auto ms = timeout.count() < 0 ? 0 : timeout.count();
    switch (WaitForSingleObject(mutex, ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms))) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: // its owner ended without giving it back: ours now
        return;
    case WAIT_TIMEOUT:
        throw ELogError("The log lock \"" + lockName + "\" was not free within " +
                        std::to_string(timeout.count()) +
                        " ms: another writer holds it; the line was not written");
    default:
        throw ELogError("Cannot lock \"" + lockName + "\": " + SystemText(GetLastError()));
    }
}

} // namespace

NamedLock::NamedLock(std::string_view name, std::chrono::milliseconds timeout)
{
    const std::string lockName(name);
    // Created owned: when nobody has the name yet, the lock is ours at once.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, lockName.c_str());
    const DWORD created = GetLastError();
    if (mutex == nullptr)
        throw ELogError("Cannot create the log lock \"" + lockName + "\": " + SystemText(created));
    if (created == ERROR_ALREADY_EXISTS) {
        try {
            Take(mutex, lockName, timeout);
        } catch (...) {
            CloseHandle(mutex);
            throw;
        }
    }
    mutex_ = mutex;
}

// A session's mutex names are the logged-on user's own: there is no folder
// that another user could take first, so nothing falls back.
NamedLock::NamedLock(NamedLockPlace &place, std::string_view name, std::chrono::milliseconds timeout,
                     const std::string &)
{
    const std::string lockName(name);
    if (place.mutex_ != nullptr && place.name_ != lockName)
        place.Close();
    if (place.mutex_ == nullptr) {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, lockName.c_str());
        if (mutex == nullptr)
            throw ELogError("Cannot create the log lock \"" + lockName + "\": " + SystemText(GetLastError()));
        place.mutex_ = mutex;
        place.name_ = lockName;
    }
    Take(static_cast<HANDLE>(place.mutex_), lockName, timeout);
    mutex_ = place.mutex_;
    kept_ = true;
}

NamedLock::~NamedLock()
{
    ReleaseMutex(mutex_);
    if (!kept_)
        CloseHandle(mutex_);
}

void NamedLockPlace::Close()
{
    if (mutex_ != nullptr)
        CloseHandle(mutex_);
    mutex_ = nullptr;
    name_.clear();
}

} // namespace glowkite

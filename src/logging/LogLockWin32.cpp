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
        const auto ms = timeout.count() < 0 ? 0 : timeout.count();
        switch (WaitForSingleObject(mutex, ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms))) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED: // its owner ended without giving it back: ours now
            break;
        case WAIT_TIMEOUT:
            CloseHandle(mutex);
            throw ELogError("The log lock \"" + lockName + "\" was not free within " +
                            std::to_string(timeout.count()) +
                            " ms: another writer holds it; the line was not written");
        default: {
            const DWORD code = GetLastError();
            CloseHandle(mutex);
            throw ELogError("Cannot lock \"" + lockName + "\": " + SystemText(code));
        }
        }
    }
    mutex_ = mutex;
}

// A session's mutex names are the logged-on user's own: there is no folder
// that another user could take first, so nothing falls back.
NamedLock::NamedLock(std::string_view name, std::chrono::milliseconds timeout, const std::string &)
    : NamedLock(name, timeout)
{
}

NamedLock::~NamedLock()
{
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
}

} // namespace glowkite

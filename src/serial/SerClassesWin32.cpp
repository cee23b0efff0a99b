// The Win32 side of the library classes: handles are kernel object handles,
// events are manual-reset event objects, waits are WaitFor*Object(s).
#include "serial/SerClasses.h"

#include <system_error>
#include <vector>
#include <windows.h>

namespace glowkite {

namespace {

DWORD Milliseconds(int timeoutMs)
{
    return timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
}

} // namespace

TSerHandleObject::~TSerHandleObject()
{
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
}

TSerWaitResult TSerHandleObject::WaitFor(int timeoutMs) const
{
    switch (WaitForSingleObject(handle_, Milliseconds(timeoutMs))) {
    case WAIT_OBJECT_0: return wrSignaled;
    case WAIT_TIMEOUT: return wrTimeout;
    case WAIT_ABANDONED: return wrAbandoned;
    default:
        lastError_ = static_cast<int>(GetLastError());
        return wrError;
    }
}

TSerWaitEvent::TSerWaitEvent()
    : TSerEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    if (handle_ == nullptr)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "CreateEvent");
}

void TSerWaitEvent::SetEvent()
{
    ::SetEvent(handle_);
}

void TSerWaitEvent::ResetEvent()
{
    ::ResetEvent(handle_);
}

int WaitForAny(std::initializer_list<const TSerHandleObject *> handles, int timeoutMs)
{
    std::vector<HANDLE> list;
    list.reserve(handles.size());
    for (const TSerHandleObject *h : handles)
        list.push_back(h->Handle());
    // With several signalled, the lowest index is reported: the list order is the priority.
    const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(list.size()), list.data(), FALSE,
                                                Milliseconds(timeoutMs));
    if (result == WAIT_TIMEOUT)
        return -1;
    if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + list.size())
        return static_cast<int>(result - WAIT_OBJECT_0);
    if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + list.size())
        return static_cast<int>(result - WAIT_ABANDONED_0);
    return -2;
}

} // namespace glowkite

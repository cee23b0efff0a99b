// Thread ids and priorities of the serial worker threads on Windows.
#include "serial/SerThreads.h"

#include <windows.h>

namespace glowkite {

int TSerThread::CurrentThreadId()
{
    return static_cast<int>(GetCurrentThreadId());
}

// Windows thread priorities are relative to the process's class already.
int TSerThread::ProcessBasePriority()
{
    return 0;
}

void TSerThread::ApplyPriority()
{
    const int tid = tid_;
    if (tid == 0)
        return; // applied by the thread itself when it starts
    static constexpr int priorities[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                         THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                         THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                         THREAD_PRIORITY_TIME_CRITICAL};
    HANDLE thread = OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(tid));
    if (thread == nullptr)
        return; // the thread has ended meanwhile
    SetThreadPriority(thread, priorities[priority_.load()]);
    CloseHandle(thread);
}

} // namespace glowkite

// Thread ids and priorities of the serial worker threads on Linux.
#include "serial/SerThreads.h"

#include <algorithm>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace glowkite {

int TSerThread::CurrentThreadId()
{
    return static_cast<int>(gettid());
}

int TSerThread::ProcessBasePriority()
{
    return getpriority(PRIO_PROCESS, 0);
}

void TSerThread::ApplyPriority()
{
    const int tid = tid_;
    if (tid == 0)
        return; // applied by the thread itself when it starts
    const TThreadPriority priority = priority_;
    sched_param param{};
    if (priority == tpIdle) {
        sched_setscheduler(tid, SCHED_IDLE, &param);
        return;
    }
    if (priority == tpTimeCritical) {
        param.sched_priority = 1;
        if (sched_setscheduler(tid, SCHED_FIFO, &param) == 0)
            return;
        param.sched_priority = 0;
    }
    static constexpr int niceSteps[] = {0, 10, 5, 0, -5, -10, -20};
    sched_setscheduler(tid, SCHED_OTHER, &param);
    // Failures (no privilege to raise a priority) leave the thread as it is.
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), std::clamp(basePriority_ + niceSteps[priority], -20, 19));
}

} // namespace glowkite

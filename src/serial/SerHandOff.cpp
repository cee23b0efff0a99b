#include "serial/SerHandOff.h"

namespace glowkite {

TSerHandOffQueue::TSerHandOffQueue(std::function<void()> notify)
    : notify_(std::move(notify)), owner_(std::this_thread::get_id())
{
}

bool TSerHandOffQueue::IsOwnerThread() const
{
    return std::this_thread::get_id() == owner_;
}

void TSerHandOffQueue::Run(const std::function<void()> &step)
{
    if (IsOwnerThread()) {
        step();
        return;
    }
    Pending pending{&step, false, nullptr};
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(&pending);
        pendingEvent_.SetEvent();
    }
    if (notify_)
        notify_();
    std::unique_lock lock(mutex_);
    doneCondition_.wait(lock, [&] { return pending.done; });
    if (pending.error)
        std::rethrow_exception(pending.error);
}

int TSerHandOffQueue::ServePending()
{
    int served = 0;
    for (;;) {
        Pending *pending;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) {
                pendingEvent_.ResetEvent();
                return served;
            }
            pending = queue_.front();
            queue_.pop_front();
        }
        // A step may itself serve steps (Close inside a handler), so the
        // queue is not held while it runs.
        try {
            (*pending->step)();
        } catch (...) {
            pending->error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            pending->done = true;
        }
        doneCondition_.notify_all();
        ++served;
    }
}

void TSerHandOffQueue::WaitServing(const TSerWaitEvent &done)
{
    while (WaitForAny({&done, &pendingEvent_}, -1) != 0)
        ServePending();
}

int TSerHandOffQueue::WaitAndServe(std::chrono::milliseconds timeout)
{
    if (pendingEvent_.WaitFor(static_cast<int>(timeout.count())) != wrSignaled)
        return 0;
    return ServePending();
}

} // namespace glowkite

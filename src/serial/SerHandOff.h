#pragma once
// The blocking hand-off from the serial worker threads to the thread that
// owns the component (the GUI thread of a program, the main thread of a
// headless one). Every event handler of the component runs on that thread.
//
// Wiring:
// - Qt program: create a TSerQtHandOff (serial/qt) on the GUI thread and give
//   it to the component; queued calls wake the event loop, which serves the
//   steps, also inside modal loops.
// - Headless program or test: use TSerHandOffQueue and call WaitAndServe (or
//   ServePending from whatever loop the thread runs, woken by the notify
//   callback).
// Close on the owner thread keeps serving steps while it waits for the
// workers' end, so a worker blocked in Run can always finish.

#include "serial/SerClasses.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace glowkite {

class TSerHandOff {
public:
    virtual ~TSerHandOff() = default;

    // Worker side: runs step on the owner thread and returns when it has run.
    // An exception that leaves step is raised again here. Called on the owner
    // thread itself, it runs step at once.
    virtual void Run(const std::function<void()> &step) = 0;

    virtual bool IsOwnerThread() const = 0;

    // Owner side: runs every step that is waiting; answers how many ran.
    virtual int ServePending() = 0;

    // Owner side: returns once `done` is signalled, serving steps meanwhile.
    virtual void WaitServing(const TSerWaitEvent &done) = 0;
};

// The default hand-off: a queue that the owner thread serves. Bound to the
// thread that creates it.
class TSerHandOffQueue : public TSerHandOff {
public:
    // notify runs on the worker thread each time a step is queued; it is to
    // wake the owner's loop (it must not block or run the step itself).
    explicit TSerHandOffQueue(std::function<void()> notify = {});

    void Run(const std::function<void()> &step) override;
    bool IsOwnerThread() const override;
    int ServePending() override;
    void WaitServing(const TSerWaitEvent &done) override;

    // Owner side, for loops without an event system of their own: waits up
    // to timeout for a step, then serves every step waiting.
    int WaitAndServe(std::chrono::milliseconds timeout);

    // Signalled while steps are waiting; a loop may poll it with its own handles.
    const TSerWaitEvent &PendingEvent() const { return pendingEvent_; }

private:
    struct Pending {
        const std::function<void()> *step;
        bool done = false;
        std::exception_ptr error;
    };

    std::function<void()> notify_;
    std::thread::id owner_;
    std::mutex mutex_;
    std::condition_variable doneCondition_;
    std::deque<Pending *> queue_;
    TSerWaitEvent pendingEvent_;
};

} // namespace glowkite

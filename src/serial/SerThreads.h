#pragma once
// The two worker threads of an open port: the event thread waits for line
// events and hands each batch to the owner thread; the write thread writes
// the write buffer. Both exist only while the port is open.

#include "serial/SerClasses.h"
#include "serial/SerTypes.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace glowkite {

class TSerCustomComm;
class TSerHandOff;

// A thread that is created suspended, given a priority and started; it is
// not freed by itself: its owner waits for EndedEvent and frees it.
//
// Priorities on Linux: tpNormal is the priority the process runs at,
// tpLower/tpLowest and tpHigher/tpHighest are 5/10 nice steps below/above it,
// tpIdle is SCHED_IDLE and tpTimeCritical asks for SCHED_FIFO. Raising a
// priority needs privileges (CAP_SYS_NICE); without them the thread keeps
// the priority it has, which is no error. On Windows each value is the
// thread priority of the same name (THREAD_PRIORITY_IDLE ... _TIME_CRITICAL).
class TSerThread {
public:
    explicit TSerThread(TSerCustomComm &owner);
    TSerThread(const TSerThread &) = delete;
    TSerThread &operator=(const TSerThread &) = delete;
    virtual ~TSerThread();

    void Start();
    void SetPriority(TThreadPriority priority);
    TThreadPriority Priority() const { return priority_; }

    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }

    // Signalled when Execute has returned; Join then returns at once.
    const TSerWaitEvent &EndedEvent() const { return ended_; }
    void Join();

    // True while the owner thread runs a step of this thread (owner thread only).
    bool ServingHandOff() const { return servingHandOff_; }

protected:
    virtual void Execute() = 0;

    // Hands step to the owner thread and blocks until it has run there. An
    // exception from step goes to the owner's exception display.
    void RunOnOwnerThread(const std::function<void()> &step);

    TSerCustomComm &owner_;

private:
    // The platform side (SerThreadsPosix.cpp, SerThreadsWin32.cpp).
    static int CurrentThreadId();
    static int ProcessBasePriority();
    void ApplyPriority();

    std::shared_ptr<TSerHandOff> handOff_;
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<TThreadPriority> priority_{tpNormal};
    std::atomic<int> tid_{0};
    int basePriority_ = 0;
    TSerWaitEvent ended_;
    bool servingHandOff_ = false;
};

class TSerCommEventThread : public TSerThread {
public:
    explicit TSerCommEventThread(TSerCustomComm &owner);

    // Ends the thread: sets the terminate flag and wakes any wait.
    void Stop();

protected:
    void Execute() override;

private:
    void Process(bool evenIfStopped = false);
    void DispatchEvents(); // owner thread

    TSerWaitEvent wakeEvent_;
    std::uint32_t eventMaskResult_ = 0;
    const std::chrono::milliseconds gathering_; // the owner's RxGathering at the start
};

// A block allocated once at its capacity and the count of bytes it holds.
class TSerCommBuffer {
public:
    explicit TSerCommBuffer(std::size_t capacity)
        : data_(std::make_unique<std::uint8_t[]>(capacity)), capacity_(capacity) {}

    std::uint8_t *Data() { return data_.get(); }
    std::size_t Count() const { return count_; }
    std::size_t Capacity() const { return capacity_; }
    // Appends as many bytes as fit; answers how many.
    std::size_t Append(const void *data, std::size_t count);
    // Drops n bytes from the front.
    void Consume(std::size_t n);

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t capacity_;
    std::size_t count_ = 0;
};

class TSerCommWriteThread : public TSerThread {
public:
    explicit TSerCommWriteThread(TSerCustomComm &owner);

    // Queues bytes (under the owner's WriteLock); answers how many fitted.
    std::size_t Write(const void *data, std::size_t count);
    // Ends the thread.
    void SignalClose() { closeEvent_.SetEvent(); }

protected:
    void Execute() override;

private:
    void WritePending();
    void Completed(std::size_t written);
    void Failed();

    TSerCommBuffer buffer_;
    TSerWaitEvent writePendingEvent_;
    TSerWaitEvent closeEvent_;
};

} // namespace glowkite

#include "serial/SerThreads.h"

#include "serial/SerBackend.h"
#include "serial/SerComm.h"
#include "serial/SerHandOff.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace glowkite {

TSerThread::TSerThread(TSerCustomComm &owner)
    : owner_(owner), handOff_(owner.handOff_), basePriority_(ProcessBasePriority())
{
}

TSerThread::~TSerThread()
{
    Join();
}

void TSerThread::Start()
{
    thread_ = std::thread([this] {
        tid_ = CurrentThreadId();
        ApplyPriority();
        try {
            Execute();
        } catch (...) {
            // Execute catches what handlers raise; anything else (out of
            // memory) ends the thread, which must still be seen to end.
        }
        ended_.SetEvent();
    });
}

void TSerThread::Join()
{
    if (thread_.joinable())
        thread_.join();
}

void TSerThread::SetPriority(TThreadPriority priority)
{
    priority_ = priority;
    ApplyPriority();
}

void TSerThread::RunOnOwnerThread(const std::function<void()> &step)
{
    handOff_->Run([&] {
        servingHandOff_ = true;
        try {
            step();
        } catch (...) {
            owner_.ShowException(std::current_exception());
        }
        servingHandOff_ = false;
    });
}

TSerCommEventThread::TSerCommEventThread(TSerCustomComm &owner)
    : TSerThread(owner), gathering_(std::max(owner.RxGathering, std::chrono::milliseconds(0)))
{
}

void TSerCommEventThread::Stop()
{
    Terminate();
    wakeEvent_.SetEvent();
}

void TSerCommEventThread::Execute()
{
    // After the port is lost, or when the driver refuses to wait, only Stop
    // can end the thread: it then waits for nothing else, so it cannot spin.
    bool parked = false;
    while (!Terminated()) {
        if (parked) {
            if (wakeEvent_.WaitFor(-1) == wrSignaled)
                Process();
            continue;
        }
        switch (owner_.backend_->WaitCommEvent(eventMaskResult_, wakeEvent_)) {
        case TSerWaitOutcome::Events:
            // Received bytes alone may wait for the ones behind them; any
            // other event (a lost port, a line error) goes on at once.
            if (gathering_.count() > 0 && eventMaskResult_ == EV_RXCHAR) {
                wakeEvent_.WaitFor(static_cast<int>(gathering_.count()));
                // Seen before a Stop that cut the wait short: handed on
                // all the same, as it would have been without the wait.
                Process(true);
                break;
            }
            Process();
            parked = (eventMaskResult_ & EV_PORTLOST) != 0;
            break;
        case TSerWaitOutcome::Woken:
            Process();
            parked = (eventMaskResult_ & EV_PORTLOST) != 0;
            break;
        case TSerWaitOutcome::Failed:
            parked = true;
            break;
        }
    }
}

void TSerCommEventThread::Process(bool evenIfStopped)
{
    if ((evenIfStopped || !Terminated()) && eventMaskResult_ != 0)
        RunOnOwnerThread([this] { DispatchEvents(); });
    wakeEvent_.ResetEvent();
}

void TSerCommEventThread::DispatchEvents()
{
    std::uint32_t mask = eventMaskResult_;
    if (mask & EV_RXCHAR) {
        mask &= ~EV_RXCHAR;
        // The received bytes and the other events of a batch are reported
        // apart, so that a failing receive handler cannot hide a lost port.
        try {
            owner_.HandleRxChar();
        } catch (...) {
            owner_.ShowException(std::current_exception());
        }
    }
    // A handler may have closed the port: the rest of the batch is void.
    if (mask != 0 && !Terminated())
        owner_.HandleEvents(mask);
}

std::size_t TSerCommBuffer::Append(const void *data, std::size_t count)
{
    const std::size_t n = std::min(count, capacity_ - count_);
    std::memcpy(data_.get() + count_, data, n);
    count_ += n;
    return n;
}

void TSerCommBuffer::Consume(std::size_t n)
{
    n = std::min(n, count_);
    std::memmove(data_.get(), data_.get() + n, count_ - n);
    count_ -= n;
}

TSerCommWriteThread::TSerCommWriteThread(TSerCustomComm &owner)
    : TSerThread(owner), buffer_(static_cast<std::size_t>(std::max(1, owner.buffers_.WriteSize())))
{
}

std::size_t TSerCommWriteThread::Write(const void *data, std::size_t count)
{
    std::lock_guard lock(owner_.writeLock_);
    const std::size_t n = buffer_.Append(data, count);
    if (n > 0)
        writePendingEvent_.SetEvent();
    return n;
}

void TSerCommWriteThread::Execute()
{
    while (!Terminated()) {
        switch (WaitForAny({&closeEvent_, &writePendingEvent_}, -1)) {
        case 0: Terminate(); break;
        case 1: WritePending(); break;
        default: break;
        }
    }
}

// The block is written without holding WriteLock: producers only append
// behind the bytes being written, and only this thread consumes.
void TSerCommWriteThread::WritePending()
{
    const std::uint8_t *data;
    std::size_t count;
    {
        std::lock_guard lock(owner_.writeLock_);
        data = buffer_.Data();
        count = buffer_.Count();
        if (count == 0) {
            writePendingEvent_.ResetEvent();
            return;
        }
    }
    TSerBackend &backend = *owner_.backend_;
    std::size_t written = 0;
    switch (backend.StartWrite(data, count, written)) {
    case TSerWriteOutcome::Done:
        Completed(written);
        break;
    case TSerWriteOutcome::Pending:
    case TSerWriteOutcome::InFlight:
        switch (backend.WaitWrite(closeEvent_, data, count, written)) {
        case 0: Terminate(); break;
        case -1: Completed(written); break;
        default: Failed(); break;
        }
        break;
    case TSerWriteOutcome::Failed:
        Failed();
        break;
    }
}

void TSerCommWriteThread::Completed(std::size_t written)
{
    bool empty;
    {
        std::lock_guard lock(owner_.writeLock_);
        buffer_.Consume(written);
        empty = buffer_.Count() == 0;
        // Under the lock, so that bytes queued meanwhile are not forgotten.
        if (empty)
            writePendingEvent_.ResetEvent();
    }
    if (empty)
        RunOnOwnerThread([this] { owner_.HandleEvents(EV_TXEMPTY); });
}

// The bytes stay queued and are tried again, but not in a tight loop; on a
// lost port not at all, until Close.
void TSerCommWriteThread::Failed()
{
    RunOnOwnerThread([this] { owner_.HandleEvents(EV_ERR); });
    const bool lost = owner_.backend_->Lost();
    if (closeEvent_.WaitFor(lost ? -1 : 100) == wrSignaled)
        Terminate();
}

} // namespace glowkite

#include "sim/SimulatorPort.h"

#include <chrono>

namespace glowkite {

TSimulatorPort::TSimulatorPort(const TSimOptions &options, double framesPerSecond)
    : sim_(options), fps_(framesPerSecond > 0 ? framesPerSecond : 1.0)
{
}

TSimulatorPort::~TSimulatorPort()
{
    Stop();
    Hangup();
}

void TSimulatorPort::Start(std::int64_t maxFrames)
{
    Stop();
    stop_ = false;
    running_ = true;
    thread_ = std::thread([this, maxFrames] { Run(maxFrames); });
}

void TSimulatorPort::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void TSimulatorPort::Wait()
{
    if (thread_.joinable())
        thread_.join();
}

void TSimulatorPort::Hangup()
{
    Stop();
    CloseLoopback();
    CloseLine();
}

void TSimulatorPort::Fail(const std::string &error)
{
    std::lock_guard lock(mutex_);
    error_ = error;
    stop_ = true;
}

std::string TSimulatorPort::Error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

void TSimulatorPort::Run(std::int64_t maxFrames)
{
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps_));
    // An absolute schedule: a late frame does not shift the ones after it.
    auto due = Clock::now();
    std::vector<std::uint8_t> bytes;
    std::unique_lock lock(mutex_);
    const std::int64_t first = sent_; // maxFrames counts from this start
    while (!stop_ && (maxFrames < 0 || sent_ - first < maxFrames)) {
        if (wake_.wait_until(lock, due, [this] { return stop_.load(); }))
            break;
        lock.unlock();
        bytes.clear();
        sim_.AppendNext(bytes);
        if (listener_ != -1 ? SendToReader(bytes) : WriteAll(bytes))
            ++sent_;
        lock.lock();
        if (stop_)
            break;
        due += period;
    }
    running_ = false;
}

} // namespace glowkite

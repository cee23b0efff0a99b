#include "tools/SimulatorPort.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

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

std::string TSimulatorPort::OpenPty()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error(std::string("Cannot create a pseudo-terminal: ") + std::strerror(errno));
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        throw std::runtime_error(std::string("Cannot name the pseudo-terminal: ") + std::strerror(errno));
    }
    // Raw, so the line discipline neither translates nor echoes frame bytes,
    // whatever the reader does with its own descriptor.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (slave < 0 || tcgetattr(slave, &t) != 0) {
        ::close(master);
        if (slave >= 0)
            ::close(slave);
        throw std::runtime_error(std::string("Cannot open ") + name + ": " + std::strerror(errno));
    }
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fd_ = master;
    slaveFd_ = slave;
    return name;
}

void TSimulatorPort::UseDescriptor(int fd)
{
    fd_ = fd;
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
    if (slaveFd_ >= 0)
        ::close(slaveFd_);
    if (fd_ >= 0)
        ::close(fd_);
    slaveFd_ = fd_ = -1;
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
        std::size_t done = 0;
        while (done < bytes.size() && !stop_) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN) {
                // Nobody reads: wait for room, but stay stoppable.
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            if (n <= 0) {
                lock.lock();
                error_ = std::string("Write error: ") + std::strerror(errno);
                stop_ = true;
                lock.unlock();
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        if (done == bytes.size())
            ++sent_;
        lock.lock();
        if (stop_)
            break;
        due += period;
    }
    running_ = false;
}

} // namespace glowkite

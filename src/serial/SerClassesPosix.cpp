// The POSIX side of the library classes: handles are file descriptors,
// events are eventfds, waits are poll().
#include "serial/SerClasses.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace glowkite {

namespace {

// poll() that restarts after signals and keeps the overall time-out.
int PollRestarting(pollfd *fds, nfds_t count, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int n = poll(fds, count, timeoutMs);
        if (n >= 0 || errno != EINTR)
            return n;
        if (timeoutMs > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            timeoutMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
    }
}

} // namespace

TSerHandleObject::~TSerHandleObject()
{
    if (handle_ >= 0)
        close(handle_);
}

TSerWaitResult TSerHandleObject::WaitFor(int timeoutMs) const
{
    pollfd p{handle_, POLLIN, 0};
    const int n = PollRestarting(&p, 1, timeoutMs);
    if (n < 0) {
        lastError_ = errno;
        return wrError;
    }
    if (n == 0)
        return wrTimeout;
    if (p.revents & POLLNVAL) {
        lastError_ = EBADF;
        return wrError;
    }
    return wrSignaled;
}

TSerWaitEvent::TSerWaitEvent()
    : TSerEvent(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (handle_ < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

void TSerWaitEvent::SetEvent()
{
    const std::uint64_t one = 1;
    // Cannot fail short of an overflow of the 64-bit counter.
    [[maybe_unused]] const auto n = write(handle_, &one, sizeof one);
}

void TSerWaitEvent::ResetEvent()
{
    std::uint64_t value;
    // EAGAIN when it was not signalled: nothing to reset.
    [[maybe_unused]] const auto n = read(handle_, &value, sizeof value);
}

int WaitForAny(std::initializer_list<const TSerHandleObject *> handles, int timeoutMs)
{
    std::vector<pollfd> fds;
    fds.reserve(handles.size());
    for (const TSerHandleObject *h : handles)
        fds.push_back({h->Handle(), POLLIN, 0});
    const int n = PollRestarting(fds.data(), fds.size(), timeoutMs);
    if (n < 0)
        return -2;
    if (n == 0)
        return -1;
    for (std::size_t i = 0; i < fds.size(); ++i)
        if (fds[i].revents != 0)
            return static_cast<int>(i);
    return -1;
}

} // namespace glowkite

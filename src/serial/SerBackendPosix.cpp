// Linux serial backend: non-blocking file descriptor, termios2 line settings,
// epoll for line events, TIOCM* for the modem lines, TIOCGICOUNT for errors.
#include "serial/SerBackend.h"
#include "serial/SerTermios2.h"
#include "serial/SerTypes.h"

#include <atomic>
#include <cerrno>
#include <cctype>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <unistd.h>

namespace glowkite {

namespace {

thread_local int lastError = 0;

bool Fail(int code)
{
    lastError = code;
    return false;
}

// A pseudo-terminal or a virtual null-modem has no modem lines or line
// counters: it answers these, and there is simply nothing to do.
bool NoSuchFeature(int code)
{
    return code == ENOTTY || code == EINVAL;
}

class TSerBackendPosix final : public TSerBackend {
public:
    ~TSerBackendPosix() override { Close(); }

    std::string DevicePath(const std::string &name) const override { return PosixDevicePath(name); }

    bool Open(const std::string &path) override
    {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return Fail(errno);
        // TIOCEXCL keeps out other openers but not root; the lock keeps out
        // every opener that asks for it (every instance of this component).
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int code = errno == EWOULDBLOCK ? EBUSY : errno;
            close(fd);
            return Fail(code);
        }
        ioctl(fd, TIOCEXCL);
        fd_ = fd;
        lost_ = false;
        lostReported_ = false;
        configured_ = false;
        std::lock_guard lock(countMutex_);
        hasCounters_ = ioctl(fd_, TIOCGICOUNT, &counters_) == 0;
        openCounters_ = counters_;
        return true;
    }

    void Close() override
    {
        if (epoll_ >= 0) {
            close(epoll_);
            epoll_ = -1;
        }
        if (fd_ >= 0) {
            ioctl(fd_, TIOCNXCL);
            close(fd_);
            fd_ = -1;
        }
    }

    bool IsOpen() const override { return fd_ >= 0; }
    bool IsNotFound(int error) const override { return error == ENOENT; }

    bool ApplyDCB(const TSerDCB &dcb) override
    {
        TSerTermios2 current;
        if (const int code = GetTermios2(fd_, current))
            return Fail(code);
        const TSerLineSetup setup = TranslateDCB(dcb, current);
        if (setup.Error)
            return Fail(setup.Error);
        if (const int code = SetTermios2(fd_, setup.Termios))
            return Fail(code);
        configured_ = true;
        return SetLine(TIOCM_DTR, setup.Dtr) && SetLine(TIOCM_RTS, setup.Rts);
    }

    // The kernel's queues have fixed sizes.
    bool SetQueueSizes(std::uint32_t, std::uint32_t) override { return true; }

    // The descriptor is non-blocking from the open on.
    bool SetImmediateReads() override { return true; }

    bool SetEventMask(std::uint32_t mask) override
    {
        mask_ = mask;
        if (epoll_ < 0) {
            epoll_ = epoll_create1(EPOLL_CLOEXEC);
            if (epoll_ < 0)
                return Fail(errno);
            // Edge-triggered: a wait ends when bytes arrive, as EV_RXCHAR does,
            // not whenever unread bytes are waiting (a handler that leaves bytes
            // unread must not make the event thread spin).
            epoll_event ev{};
            ev.events = EPOLLIN | EPOLLET;
            if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd_, &ev) != 0) {
                const int code = errno;
                close(epoll_);
                epoll_ = -1;
                return Fail(code);
            }
        }
        return true;
    }

    TSerWaitOutcome WaitCommEvent(std::uint32_t &events, const TSerWaitEvent &wake) override
    {
        events = 0;
        if (lostReported_ || epoll_ < 0)
            return (lastError = EIO), TSerWaitOutcome::Failed;
        for (;;) {
            pollfd fds[2] = {{wake.Handle(), POLLIN, 0}, {epoll_, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return (lastError = errno), TSerWaitOutcome::Failed;
            }
            if (fds[0].revents)
                return TSerWaitOutcome::Woken;
            epoll_event ev{};
            if (epoll_wait(epoll_, &ev, 1, 0) <= 0)
                continue;
            std::uint32_t found = 0;
            if (ev.events & EPOLLIN)
                found |= EV_RXCHAR;
            found |= CounterEvents();
            if (ev.events & (EPOLLHUP | EPOLLERR)) {
                lost_ = true;
                lostReported_ = true;
                found |= EV_PORTLOST;
            }
            events = found & (mask_ | EV_PORTLOST);
            if (events)
                return TSerWaitOutcome::Events;
        }
    }

    bool Statistics(TSerCommStatus &status) override
    {
        status = {};
        int waiting = 0;
        if (ioctl(fd_, FIONREAD, &waiting) == 0)
            status.InQueue = static_cast<std::uint32_t>(waiting);
        else if (!lost_)
            return Fail(errno);
        int queued = 0;
        if (ioctl(fd_, TIOCOUTQ, &queued) == 0)
            status.OutQueue = static_cast<std::uint32_t>(queued);
        status.Errors = TakeLineErrors();
        return true;
    }

    TSerLineErrors LineErrors() override
    {
        std::lock_guard lock(countMutex_);
        TSerLineErrors errors;
        serial_icounter_struct now{};
        if (!hasCounters_ || ioctl(fd_, TIOCGICOUNT, &now) != 0)
            return errors;
        const auto delta = [](int now, int then) { return static_cast<std::uint64_t>(static_cast<unsigned>(now - then)); };
        errors.Counted = true;
        errors.Framing = delta(now.frame, openCounters_.frame);
        errors.Parity = delta(now.parity, openCounters_.parity);
        errors.Overrun = delta(now.overrun, openCounters_.overrun) + delta(now.buf_overrun, openCounters_.buf_overrun);
        errors.Break = delta(now.brk, openCounters_.brk);
        return errors;
    }

    bool Escape(int function) override
    {
        switch (function) {
        case SETDTR: return SetLine(TIOCM_DTR, TSerModemLine::Raise);
        case CLRDTR: return SetLine(TIOCM_DTR, TSerModemLine::Drop);
        case SETRTS: return SetLine(TIOCM_RTS, TSerModemLine::Raise);
        case CLRRTS: return SetLine(TIOCM_RTS, TSerModemLine::Drop);
        default: return Fail(EINVAL);
        }
    }

    // Non-blocking reads answer at once: no time-out to wait for.
    bool Read(void *buffer, std::size_t count, std::size_t &got, int) override
    {
        got = 0;
        if (lost_ || count == 0)
            return true;
        const ssize_t n = read(fd_, buffer, count);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return true;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        // With the settings we apply (VMIN 1), 0 bytes means end of file: the
        // device has gone. Under settings left as they were it may mean "empty".
        if ((n == 0 && configured_) || (n < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV)))
            lost_ = true;
        return n == 0 || lost_ ? true : Fail(errno);
    }

    TSerWriteOutcome StartWrite(const void *data, std::size_t count, std::size_t &written) override
    {
        written = 0;
        if (lost_)
            return (lastError = EIO), TSerWriteOutcome::Failed;
        const ssize_t n = write(fd_, data, count);
        if (n >= 0) {
            written = static_cast<std::size_t>(n);
            return TSerWriteOutcome::Done;
        }
        if (errno == EAGAIN || errno == EINTR)
            return TSerWriteOutcome::Pending;
        if (errno == EIO || errno == ENXIO || errno == ENODEV)
            lost_ = true;
        return (lastError = errno), TSerWriteOutcome::Failed;
    }

    int WaitWrite(const TSerWaitEvent &stop, const void *data, std::size_t count, std::size_t &written) override
    {
        written = 0;
        for (;;) {
            pollfd fds[2] = {{stop.Handle(), POLLIN, 0}, {fd_, POLLOUT, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                lastError = errno;
                return -2;
            }
            if (fds[0].revents)
                return 0;
            switch (StartWrite(data, count, written)) {
            case TSerWriteOutcome::Done: return -1;
            case TSerWriteOutcome::Pending:
            case TSerWriteOutcome::InFlight: continue; // a POSIX write never stays in flight
            case TSerWriteOutcome::Failed: return -2;
            }
        }
    }

    bool Lost() const override { return lost_; }
    int LastError() const override { return lastError; }
    std::string ErrorText(int code) const override { return std::generic_category().message(code); }

private:
    bool SetLine(int line, TSerModemLine action)
    {
        if (action == TSerModemLine::Keep)
            return true;
        if (ioctl(fd_, action == TSerModemLine::Raise ? TIOCMBIS : TIOCMBIC, &line) == 0 || NoSuchFeature(errno))
            return true;
        return Fail(errno);
    }

    // Line errors since the last report, as CE_* flags (none without counters).
    std::uint32_t TakeLineErrors()
    {
        std::lock_guard lock(countMutex_);
        const std::uint32_t errors = PendingLineErrors();
        if (errors)
            ioctl(fd_, TIOCGICOUNT, &counters_);
        return errors;
    }

    std::uint32_t CounterEvents()
    {
        std::lock_guard lock(countMutex_);
        std::uint32_t events = 0;
        const std::uint32_t errors = PendingLineErrors();
        if (errors & ~CE_BREAK)
            events |= EV_ERR;
        if (errors & CE_BREAK)
            events |= EV_BREAK | EV_ERR;
        return events;
    }

    std::uint32_t PendingLineErrors()
    {
        serial_icounter_struct now{};
        if (!hasCounters_ || ioctl(fd_, TIOCGICOUNT, &now) != 0)
            return 0;
        std::uint32_t errors = 0;
        if (now.buf_overrun != counters_.buf_overrun)
            errors |= CE_RXOVER;
        if (now.overrun != counters_.overrun)
            errors |= CE_OVERRUN;
        if (now.parity != counters_.parity)
            errors |= CE_RXPARITY;
        if (now.frame != counters_.frame)
            errors |= CE_FRAME;
        if (now.brk != counters_.brk)
            errors |= CE_BREAK;
        return errors;
    }

    int fd_ = -1;
    int epoll_ = -1;
    std::uint32_t mask_ = 0;
    bool configured_ = false;
    std::atomic<bool> lost_{false};
    bool lostReported_ = false; // event thread only
    std::mutex countMutex_;
    bool hasCounters_ = false;
    serial_icounter_struct counters_{};
    serial_icounter_struct openCounters_{}; // at Open, for LineErrors
};

} // namespace

std::unique_ptr<TSerBackend> TSerBackend::Create()
{
    return std::make_unique<TSerBackendPosix>();
}

std::string PosixDevicePath(const std::string &name)
{
    if (!name.empty() && name[0] == '/')
        return name;
    if (name.size() > 3 && name.size() <= 12) {
        const auto upper = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
        bool isCom = upper(name[0]) == 'C' && upper(name[1]) == 'O' && upper(name[2]) == 'M';
        for (std::size_t i = 3; isCom && i < name.size(); ++i)
            isCom = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
        if (isCom) {
            const unsigned long n = std::stoul(name.substr(3));
            if (n >= 1)
                return "/dev/ttyS" + std::to_string(n - 1);
        }
    }
    return "/dev/" + name;
}

} // namespace glowkite

// Network port backend on Linux: a TCP connection to a serial device server,
// raw (tcp://) or with the Telnet COM-PORT-OPTION of RFC 2217 (rfc2217://).
// The server's serial port plays the device: the connection's end is the
// device going away, line errors and modem lines it does not report are
// "nothing to do", as on a pseudo-terminal.
#include "serial/SerBackend.h"
#include "serial/SerNet.h"
#include "serial/SerTypes.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <utility>
#include <unistd.h>
#include <vector>

namespace glowkite {

namespace {

using Clock = std::chrono::steady_clock;

// How long a raw TCP open watches for a server that hangs up at once.
constexpr std::chrono::milliseconds StartWatch{250};
// How long an open waits for the connection after the last one failed.
constexpr std::chrono::milliseconds RetryWait{250};

thread_local int lastError = 0;
// A text of our own for the last error where the system's says too little.
thread_local std::string lastText;

bool Fail(int code, std::string text = {})
{
    lastError = code;
    lastText = std::move(text);
    return false;
}

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// How often a wait for the server looks whether it is to give up.
constexpr int CancelSliceMs = 20;

using TCancelCheck = std::function<bool()>;

bool Cancelled(const TCancelCheck &check)
{
    return check && check();
}

// The time to wait next: up to the deadline, in slices when the wait can be
// given up.
int SliceMs(Clock::time_point deadline, const TCancelCheck &check)
{
    const int left = MsLeft(deadline);
    return check ? std::min(left, CancelSliceMs) : left;
}

// What a connection that has ended answers.
bool ConnectionGone(int code)
{
    return code == ECONNRESET || code == EPIPE || code == ETIMEDOUT || code == EHOSTUNREACH ||
           code == ENETUNREACH || code == ENOTCONN || code == ECONNABORTED;
}

// getaddrinfo has no time-out of its own (a DNS server that does not answer
// holds it for many seconds), so a name is looked up on a thread of its own
// and waited for until the deadline; a lookup still running then is kept
// for the next open of the same address, and cleans up after itself.
struct TLookup {
    std::string key;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int rc = 0;
    addrinfo *result = nullptr;
    ~TLookup()
    {
        if (result)
            freeaddrinfo(result);
    }
};

int Resolve(const TSerNetAddress &a, Clock::time_point deadline, addrinfo *&out, std::shared_ptr<TLookup> &carried,
            const TCancelCheck &cancel)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    if (getaddrinfo(a.Host.c_str(), a.Port.c_str(), &hints, &out) == 0)
        return 0;
    const std::string key = a.Host + ":" + a.Port;
    if (!carried || carried->key != key) {
        carried = std::make_shared<TLookup>();
        carried->key = key;
        std::thread([lookup = carried, host = a.Host, port = a.Port] {
            addrinfo h{};
            h.ai_family = AF_UNSPEC;
            h.ai_socktype = SOCK_STREAM;
            h.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
            addrinfo *res = nullptr;
            const int rc = getaddrinfo(host.c_str(), port.c_str(), &h, &res);
            std::lock_guard lock(lookup->mutex);
            lookup->rc = rc;
            lookup->result = res;
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    }
    const std::shared_ptr<TLookup> lookup = carried;
    std::unique_lock lock(lookup->mutex);
    while (!lookup->finished) {
        if (Clock::now() >= deadline || Cancelled(cancel))
            return EAI_AGAIN;
        lookup->done.wait_for(lock, std::chrono::milliseconds(SliceMs(deadline, cancel)));
    }
    out = lookup->result;
    lookup->result = nullptr;
    carried.reset();
    return lookup->rc;
}

class TSerBackendNet final : public TSerBackend {
public:
    ~TSerBackendNet() override
    {
        Close();
        DropWaiting();
    }

    std::string DevicePath(const std::string &name) const override { return name; }

    void SetNetTimeout(std::chrono::milliseconds timeout) override { timeout_ = timeout; }
    void SetCancelCheck(std::function<bool()> check) override { cancel_ = std::move(check); }

    bool Open(const std::string &path) override
    {
        const TSerNetAddress a = ParseNetAddress(path);
        if (a.Kind == TSerNetKind::None || !a.Error.empty())
            return Fail(EINVAL, a.Error.empty() ? "not a network address" : a.Error);
        kind_ = a.Kind;
        const Clock::time_point deadline = Clock::now() + timeout_;
        // The first open of an address may take the whole time-out; the
        // retries after a failure wait briefly, while the system keeps trying.
        const bool retry = failedPath_ == path;
        failedPath_ = openPath_ = path;
        if (!Connect(a, path, retry ? std::min(deadline, Clock::now() + RetryWait) : deadline))
            return false;
        lost_ = false;
        lostReported_ = false;
        pending_.clear();
        pendingUnreported_ = false;
        out_.clear();
        telnet_ = TSerTelnetClient{};
        const bool started = kind_ == TSerNetKind::Rfc2217 ? StartTelnet(deadline) : WatchStart();
        if (!started) {
            const int code = lastError;
            const std::string text = lastText;
            Close();
            return Fail(code, text);
        }
        failedPath_.clear();
        return true;
    }

    void Close() override
    {
        // Reopening a lost connection is a retry: it must not hold the owner
        // thread the whole time-out while the server is away.
        if (fd_ >= 0 && lost_)
            failedPath_ = openPath_;
        if (epoll_ >= 0) {
            close(epoll_);
            epoll_ = -1;
        }
        if (kick_ >= 0) {
            close(kick_);
            kick_ = -1;
        }
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
        pending_.clear();
        out_.clear();
    }

    bool IsOpen() const override { return fd_ >= 0; }
    // An address that cannot be reached is told with its reason.
    bool IsNotFound(int) const override { return false; }

    bool ApplyDCB(const TSerDCB &dcb) override
    {
        // A raw TCP server keeps the line settings of its own configuration.
        if (kind_ != TSerNetKind::Rfc2217)
            return true;
        using namespace telnet;
        telnet_.ForgetAnswers();
        if (!SendCommand(TSerTelnetClient::LineCommands(dcb)))
            return false;
        if (!Pump(Clock::now() + timeout_, [&] { return telnet_.LineConfirmed(); })) {
            if (lost_)
                return ServerClosed();
            return Fail(ETIMEDOUT, "the server did not confirm the line settings within " + DurationText(timeout_));
        }
        if (const std::string mismatch = telnet_.LineMismatch(dcb); !mismatch.empty())
            return Fail(EINVAL, mismatch);
        return true;
    }

    bool SetQueueSizes(std::uint32_t, std::uint32_t) override { return true; }
    bool SetImmediateReads() override { return true; }

    bool SetEventMask(std::uint32_t mask) override
    {
        mask_ = mask;
        if (epoll_ >= 0)
            return true;
        kick_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
        if (kick_ < 0 || epoll_ < 0)
            return Fail(errno);
        // Edge-triggered, as for a device: a wait ends when bytes arrive, not
        // while unread bytes wait, so a handler that leaves some cannot make
        // the event thread spin.
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
        if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd_, &ev) != 0)
            return Fail(errno);
        return true;
    }

    TSerWaitOutcome WaitCommEvent(std::uint32_t &events, const TSerWaitEvent &wake) override
    {
        events = 0;
        if (lostReported_ || epoll_ < 0)
            return (lastError = EIO), TSerWaitOutcome::Failed;
        for (;;) {
            // Serial bytes that came with the Telnet answers while the owner
            // thread waited for them are in no socket edge any more.
            if (pendingUnreported_.exchange(false) && (mask_ & EV_RXCHAR)) {
                events = EV_RXCHAR;
                return TSerWaitOutcome::Events;
            }
            pollfd fds[3] = {{wake.Handle(), POLLIN, 0}, {epoll_, POLLIN, 0}, {kick_, POLLIN, 0}};
            if (poll(fds, 3, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return (lastError = errno), TSerWaitOutcome::Failed;
            }
            if (fds[0].revents)
                return TSerWaitOutcome::Woken;
            if (fds[2].revents) {
                std::uint64_t v;
                [[maybe_unused]] const auto n = read(kick_, &v, sizeof v);
                continue;
            }
            epoll_event ev{};
            if (epoll_wait(epoll_, &ev, 1, 0) <= 0)
                continue;
            std::uint32_t found = 0;
            if (ev.events & EPOLLIN)
                found |= EV_RXCHAR;
            if (ev.events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
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
        status.InQueue += static_cast<std::uint32_t>(pending_.size());
        int queued = 0;
        if (ioctl(fd_, TIOCOUTQ, &queued) == 0)
            status.OutQueue = static_cast<std::uint32_t>(queued);
        return true;
    }

    bool Escape(int function) override
    {
        if (function != SETDTR && function != CLRDTR && function != SETRTS && function != CLRRTS)
            return Fail(EINVAL);
        // A raw TCP server has no way to be told: nothing to do.
        if (kind_ != TSerNetKind::Rfc2217)
            return true;
        return SendCommand(TSerTelnetClient::EscapeCommand(function));
    }

    bool Read(void *buffer, std::size_t count, std::size_t &got, int) override
    {
        got = 0;
        if (count == 0)
            return true;
        auto *out = static_cast<std::uint8_t *>(buffer);
        if (!pending_.empty()) {
            got = std::min(count, pending_.size());
            std::memcpy(out, pending_.data(), got);
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(got));
            return true;
        }
        if (lost_)
            return true;
        std::uint8_t raw[4096];
        for (;;) {
            const std::size_t want = kind_ == TSerNetKind::Rfc2217 ? std::min(count, sizeof raw) : count;
            const ssize_t n = recv(fd_, kind_ == TSerNetKind::Rfc2217 ? raw : out, want, MSG_DONTWAIT);
            if (n == 0) {
                lost_ = true;
                return true;
            }
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK)
                    return true;
                if (ConnectionGone(errno)) {
                    lost_ = true;
                    return true;
                }
                return Fail(errno);
            }
            if (kind_ != TSerNetKind::Rfc2217) {
                got = static_cast<std::size_t>(n);
                return true;
            }
            got = telnet_.Decode(raw, static_cast<std::size_t>(n), out);
            if (telnet_.HasReplies())
                SendCommand(telnet_.TakeReplies());
            // A read of nothing but Telnet commands says nothing about what
            // follows: the socket edge is spent, so read on.
            if (got > 0)
                return true;
        }
    }

    TSerWriteOutcome StartWrite(const void *data, std::size_t count, std::size_t &written) override
    {
        written = 0;
        if (lost_)
            return (lastError = EIO), TSerWriteOutcome::Failed;
        std::unique_lock lock(sendMutex_, std::try_to_lock);
        if (!lock.owns_lock() || !out_.empty())
            return TSerWriteOutcome::Pending;
        const auto *bytes = static_cast<const std::uint8_t *>(data);
        if (kind_ != TSerNetKind::Rfc2217) {
            const ssize_t n = send(fd_, bytes, count, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n >= 0) {
                written = static_cast<std::size_t>(n);
                return TSerWriteOutcome::Done;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return TSerWriteOutcome::Pending;
            return WriteFailed(errno);
        }
        // Escaped data cannot be taken in part: a doubled 0xFF must not be
        // split around a command. What does not go at once stays in out_.
        out_ = TSerTelnetClient::EscapeData(bytes, count);
        const ssize_t n = send(fd_, out_.data(), out_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            out_.clear();
            return WriteFailed(errno);
        }
        out_.erase(0, n > 0 ? static_cast<std::size_t>(n) : 0);
        written = count;
        return out_.empty() ? TSerWriteOutcome::Done : TSerWriteOutcome::InFlight;
    }

    int WaitWrite(const TSerWaitEvent &stop, const void *data, std::size_t count, std::size_t &written) override
    {
        written = 0;
        for (;;) {
            {
                std::unique_lock lock(sendMutex_);
                if (!out_.empty()) {
                    const ssize_t n = send(fd_, out_.data(), out_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
                    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                        out_.clear();
                        WriteFailed(errno);
                        return -2;
                    }
                    out_.erase(0, n > 0 ? static_cast<std::size_t>(n) : 0);
                    if (out_.empty()) {
                        written = count; // taken in full by StartWrite
                        return -1;
                    }
                } else {
                    lock.unlock();
                    switch (StartWrite(data, count, written)) {
                    case TSerWriteOutcome::Done: return -1;
                    case TSerWriteOutcome::Failed: return -2;
                    case TSerWriteOutcome::InFlight: continue;
                    case TSerWriteOutcome::Pending: break;
                    }
                }
            }
            pollfd fds[2] = {{stop.Handle(), POLLIN, 0}, {fd_, POLLOUT, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR) {
                lastError = errno;
                return -2;
            }
            if (fds[0].revents)
                return 0;
        }
    }

    bool Lost() const override { return lost_; }
    int LastError() const override { return lastError; }
    std::string ErrorText(int code) const override
    {
        if (code == lastError && !lastText.empty())
            return lastText;
        if (code < 0)
            return gai_strerror(code);
        return std::generic_category().message(code);
    }

private:
    TSerWriteOutcome WriteFailed(int code)
    {
        if (ConnectionGone(code))
            lost_ = true;
        lastError = code;
        lastText.clear();
        return TSerWriteOutcome::Failed;
    }

    // Connects by the deadline. A connection still under way then is kept
    // (the system goes on trying) and taken by the next open of the same
    // address, so that retries every few seconds need not each wait long.
    bool Connect(const TSerNetAddress &a, const std::string &path, Clock::time_point deadline)
    {
        if (waiting_.fd >= 0 && (waiting_.path != path || Clock::now() - waiting_.started >= timeout_))
            DropWaiting(); // an old attempt: a fresh one sends a fresh SYN at once
        int code = ETIMEDOUT;
        if (waiting_.fd >= 0) {
            code = Finish(waiting_.fd, deadline, cancel_);
            if (code == 0)
                fd_ = std::exchange(waiting_.fd, -1);
            else if (code != EINPROGRESS)
                DropWaiting();
            else
                return Fail(ETIMEDOUT, "no connection within " + DurationText(timeout_));
        }
        if (fd_ < 0) {
            addrinfo *list = nullptr;
            const int rc = Resolve(a, deadline, list, lookup_, cancel_);
            if (Cancelled(cancel_))
                return Fail(ECANCELED, "the connection was given up");
            if (rc == EAI_AGAIN && MsLeft(deadline) == 0)
                return Fail(ETIMEDOUT, "no answer for the host name " + a.Host + " within " + DurationText(timeout_));
            if (rc != 0)
                return Fail(rc, "host " + a.Host + " not found (" + gai_strerror(rc) + ")");
            for (addrinfo *ai = list; ai && fd_ < 0; ai = ai->ai_next) {
                const int fd = socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                if (fd < 0) {
                    code = errno;
                    continue;
                }
                code = connect(fd, ai->ai_addr, ai->ai_addrlen) == 0 ? 0 : errno;
                if (code == EINPROGRESS)
                    code = Finish(fd, deadline, cancel_);
                if (code == 0) {
                    fd_ = fd;
                } else if (code == EINPROGRESS) {
                    waiting_ = {fd, path, Clock::now()};
                    break;
                } else {
                    close(fd);
                }
            }
            freeaddrinfo(list);
        }
        if (fd_ < 0) {
            if (Cancelled(cancel_))
                return Fail(ECANCELED, "the connection was given up");
            if (code == ETIMEDOUT || code == EINPROGRESS)
                return Fail(ETIMEDOUT, "no connection within " + DurationText(timeout_));
            return Fail(code);
        }
        const int on = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        // A server that vanishes without a word (power, cable) is seen within
        // about 11 s of silence rather than the system's two hours.
        setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        const int idle = 5, interval = 2, probes = 3;
        setsockopt(fd_, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
        setsockopt(fd_, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
        setsockopt(fd_, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
        return true;
    }

    // 0 when the connection of fd is made, EINPROGRESS when it is still
    // under way at the deadline, else why it failed.
    static int Finish(int fd, Clock::time_point deadline, const TCancelCheck &cancel)
    {
        pollfd p{fd, POLLOUT, 0};
        int n;
        while (((n = poll(&p, 1, SliceMs(deadline, cancel))) < 0 && errno == EINTR) ||
               (n == 0 && MsLeft(deadline) > 0 && !Cancelled(cancel))) {
        }
        if (n < 0)
            return errno;
        if (n == 0)
            return EINPROGRESS;
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            return errno;
        return err;
    }

    void DropWaiting()
    {
        if (waiting_.fd >= 0)
            close(waiting_.fd);
        waiting_ = {};
    }

    // A server accepts first and opens its serial port afterwards; when that
    // fails (device missing, port in use) it says why and hangs up at once.
    // That is an open that failed, not a port that opened and went away.
    bool WatchStart()
    {
        Pump(Clock::now() + std::min<std::chrono::milliseconds>(timeout_, StartWatch), [] { return false; });
        return lost_ ? ServerClosed() : true;
    }

    bool ServerClosed()
    {
        const std::string said = ServerWords(pending_);
        return Fail(ECONNRESET, "the server closed the connection" + (said.empty() ? "" : ": " + said));
    }

    bool StartTelnet(Clock::time_point deadline)
    {
        using namespace telnet;
        if (!SendCommand(telnet_.Greeting()))
            return false;
        if (Pump(deadline, [&] { return telnet_.ComPortAccepted() || telnet_.ComPortRefused(); }) &&
            telnet_.ComPortAccepted()) {
            return SendCommand(TSerTelnetClient::QuietCommands()) && WatchStart();
        }
        if (telnet_.ComPortRefused())
            return Fail(EPROTONOSUPPORT, "the server refuses the Telnet COM-PORT-OPTION (RFC 2217)");
        if (lost_)
            return ServerClosed();
        return Fail(ETIMEDOUT, "no answer to the Telnet COM-PORT-OPTION (RFC 2217) within " + DurationText(timeout_) +
                                   "; a raw TCP port is tcp://HOST:PORT");
    }

    // Reads what the server sends until done() or the deadline, keeping the
    // serial bytes for Read and answering Telnet at once (owner thread).
    template <typename Done>
    bool Pump(Clock::time_point deadline, const Done &done)
    {
        std::uint8_t raw[4096];
        std::uint8_t data[4096];
        while (!done()) {
            if (lost_)
                return false;
            pollfd p{fd_, POLLIN, 0};
            const int n = poll(&p, 1, SliceMs(deadline, cancel_));
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 && Cancelled(cancel_))
                return Fail(ECANCELED, "the connection was given up");
            if (n == 0 && MsLeft(deadline) > 0)
                continue;
            if (n <= 0)
                return false;
            const ssize_t got = recv(fd_, raw, sizeof raw, MSG_DONTWAIT);
            if (got == 0 || (got < 0 && ConnectionGone(errno))) {
                lost_ = true;
                return false;
            }
            if (got < 0)
                continue;
            const std::size_t o = kind_ == TSerNetKind::Rfc2217
                                      ? telnet_.Decode(raw, static_cast<std::size_t>(got), data)
                                      : (std::memcpy(data, raw, static_cast<std::size_t>(got)),
                                         static_cast<std::size_t>(got));
            if (o > 0) {
                pending_.insert(pending_.end(), data, data + o);
                pendingUnreported_ = true;
                if (kick_ >= 0) {
                    const std::uint64_t one = 1;
                    [[maybe_unused]] const auto w = write(kick_, &one, sizeof one);
                }
            }
            if (telnet_.HasReplies() && !SendCommand(telnet_.TakeReplies()))
                return false;
        }
        return true;
    }

    // Sends a Telnet command whole, within the time-out (owner thread; the
    // write thread may hold the socket for a moment).
    bool SendCommand(const std::string &bytes)
    {
        const Clock::time_point deadline = Clock::now() + timeout_;
        // The write thread holds the lock only for a non-blocking send.
        std::unique_lock lock(sendMutex_, std::defer_lock);
        while (!lock.try_lock()) {
            if (Clock::now() >= deadline)
                return Fail(ETIMEDOUT, "the connection takes no commands");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                const int code = errno;
                if (ConnectionGone(code))
                    lost_ = true;
                return Fail(code);
            }
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, MsLeft(deadline)) == 0)
                return Fail(ETIMEDOUT, "the connection takes no commands");
        }
        return true;
    }

    int fd_ = -1;
    int epoll_ = -1;
    int kick_ = -1; // wakes the event thread for bytes kept in pending_
    TSerNetKind kind_ = TSerNetKind::None;
    std::chrono::milliseconds timeout_{3000};
    TCancelCheck cancel_;
    std::uint32_t mask_ = 0;
    std::atomic<bool> lost_{false};
    bool lostReported_ = false; // event thread only
    // Owner thread only: the Telnet state and the serial bytes that arrived
    // while Open or ApplyDCB waited for the server's answers.
    TSerTelnetClient telnet_;
    std::vector<std::uint8_t> pending_;
    std::atomic<bool> pendingUnreported_{false};
    // Guards the socket's sending side and out_, escaped data that the
    // socket has not taken yet.
    std::mutex sendMutex_;
    std::string out_;
    // Owner thread: a connection still under way from a failed open, a name
    // lookup still running, and the address whose last open failed.
    struct {
        int fd = -1;
        std::string path;
        Clock::time_point started;
    } waiting_;
    std::shared_ptr<TLookup> lookup_;
    std::string failedPath_;
    std::string openPath_;
};

} // namespace

std::unique_ptr<TSerBackend> TSerBackend::CreateNet()
{
    return std::make_unique<TSerBackendNet>();
}

} // namespace glowkite

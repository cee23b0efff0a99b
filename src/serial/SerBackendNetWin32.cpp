// Network port backend on Windows: Winsock, with the same behaviour as on
// Linux (SerBackendNetPosix.cpp): raw TCP or RFC 2217, a bounded connect whose
// attempt outlives a failed open, the server's hang-up as the port going away.
// Line events come from WSAEventSelect (FD_READ, FD_CLOSE).
#include "serial/SerBackend.h"
#include "serial/SerNet.h"
#include "serial/SerTypes.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <windows.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace glowkite {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds StartWatch{250};
constexpr std::chrono::milliseconds RetryWait{250};
constexpr int InProgress = WSAEWOULDBLOCK;

thread_local int lastError = 0;
thread_local std::string lastText;

bool Fail(int code, std::string text = {})
{
    lastError = code;
    lastText = std::move(text);
    return false;
}

int WinsockError()
{
    return WSAGetLastError();
}

bool WinsockReady()
{
    static const int rc = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return rc == 0;
}

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

timeval Timeval(int ms)
{
    return timeval{ms / 1000, (ms % 1000) * 1000};
}

bool ConnectionGone(int code)
{
    return code == WSAECONNRESET || code == WSAECONNABORTED || code == WSAETIMEDOUT || code == WSAEHOSTUNREACH ||
           code == WSAENETUNREACH || code == WSAENOTCONN || code == WSAENETRESET || code == WSAESHUTDOWN;
}

// Readable (or writable) within ms: 1, not: 0, failure: -1.
int WaitSocket(SOCKET s, bool write, int ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv = Timeval(ms);
    return select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &tv);
}

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

// As on Linux: a lookup has no time-out of its own, so it runs on a thread
// and one still running at the deadline is kept for the next open.
int Resolve(const TSerNetAddress &a, Clock::time_point deadline, addrinfo *&out, std::shared_ptr<TLookup> &carried)
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
            h.ai_flags = AI_NUMERICSERV;
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
    if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; }))
        return EAI_AGAIN;
    out = lookup->result;
    lookup->result = nullptr;
    carried.reset();
    return lookup->rc;
}

class TSerBackendNetWin32 final : public TSerBackend {
public:
    ~TSerBackendNetWin32() override
    {
        Close();
        DropWaiting();
    }

    std::string DevicePath(const std::string &name) const override { return name; }
    void SetNetTimeout(std::chrono::milliseconds timeout) override { timeout_ = timeout; }

    bool Open(const std::string &path) override
    {
        const TSerNetAddress a = ParseNetAddress(path);
        if (a.Kind == TSerNetKind::None || !a.Error.empty())
            return Fail(WSAEINVAL, a.Error.empty() ? "not a network address" : a.Error);
        if (!WinsockReady())
            return Fail(WSASYSNOTREADY, "Winsock cannot be started");
        kind_ = a.Kind;
        const Clock::time_point deadline = Clock::now() + timeout_;
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
        if (s_ != INVALID_SOCKET && lost_)
            failedPath_ = openPath_;
        if (s_ != INVALID_SOCKET) {
            closesocket(s_);
            s_ = INVALID_SOCKET;
        }
        if (netEvent_ != WSA_INVALID_EVENT) {
            WSACloseEvent(netEvent_);
            netEvent_ = WSA_INVALID_EVENT;
        }
        if (kick_) {
            CloseHandle(kick_);
            kick_ = nullptr;
        }
        pending_.clear();
        out_.clear();
    }

    bool IsOpen() const override { return s_ != INVALID_SOCKET; }
    bool IsNotFound(int) const override { return false; }

    bool ApplyDCB(const TSerDCB &dcb) override
    {
        if (kind_ != TSerNetKind::Rfc2217)
            return true;
        using namespace telnet;
        telnet_.ForgetAnswers();
        if (!SendCommand(TSerTelnetClient::LineCommands(dcb)))
            return false;
        if (!Pump(Clock::now() + timeout_, [&] { return telnet_.LineConfirmed(); })) {
            if (lost_)
                return ServerClosed();
            return Fail(WSAETIMEDOUT, "the server did not confirm the line settings within " + DurationText(timeout_));
        }
        if (const std::string mismatch = telnet_.LineMismatch(dcb); !mismatch.empty())
            return Fail(WSAEINVAL, mismatch);
        return true;
    }

    bool SetQueueSizes(std::uint32_t, std::uint32_t) override { return true; }
    bool SetImmediateReads() override { return true; }

    bool SetEventMask(std::uint32_t mask) override
    {
        mask_ = mask;
        if (netEvent_ != WSA_INVALID_EVENT)
            return true;
        kick_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        netEvent_ = WSACreateEvent();
        if (!kick_ || netEvent_ == WSA_INVALID_EVENT)
            return Fail(static_cast<int>(GetLastError()));
        // FD_READ comes again only after a recv: a handler that leaves bytes
        // unread cannot make the event thread spin.
        if (WSAEventSelect(s_, netEvent_, FD_READ | FD_CLOSE) != 0)
            return Fail(WinsockError());
        return true;
    }

    TSerWaitOutcome WaitCommEvent(std::uint32_t &events, const TSerWaitEvent &wake) override
    {
        events = 0;
        if (lostReported_ || netEvent_ == WSA_INVALID_EVENT)
            return (lastError = WSAENOTCONN), TSerWaitOutcome::Failed;
        for (;;) {
            if (pendingUnreported_.exchange(false) && (mask_ & EV_RXCHAR)) {
                events = EV_RXCHAR;
                return TSerWaitOutcome::Events;
            }
            HANDLE handles[3] = {static_cast<HANDLE>(wake.Handle()), netEvent_, kick_};
            const DWORD w = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
            if (w == WAIT_OBJECT_0)
                return TSerWaitOutcome::Woken;
            if (w == WAIT_OBJECT_0 + 2) {
                ResetEvent(kick_);
                continue;
            }
            if (w != WAIT_OBJECT_0 + 1)
                return (lastError = static_cast<int>(GetLastError())), TSerWaitOutcome::Failed;
            WSANETWORKEVENTS ne{};
            if (WSAEnumNetworkEvents(s_, netEvent_, &ne) != 0)
                return (lastError = WinsockError()), TSerWaitOutcome::Failed;
            std::uint32_t found = 0;
            if (ne.lNetworkEvents & FD_READ)
                found |= EV_RXCHAR;
            if (ne.lNetworkEvents & FD_CLOSE) {
                // Bytes may still wait behind the close: read them first.
                found |= EV_RXCHAR | EV_PORTLOST;
                lost_ = true;
                lostReported_ = true;
            }
            events = found & (mask_ | EV_PORTLOST);
            if (events)
                return TSerWaitOutcome::Events;
        }
    }

    bool Statistics(TSerCommStatus &status) override
    {
        status = {};
        u_long waiting = 0;
        if (ioctlsocket(s_, FIONREAD, &waiting) == 0)
            status.InQueue = static_cast<std::uint32_t>(waiting);
        else if (!lost_)
            return Fail(WinsockError());
        status.InQueue += static_cast<std::uint32_t>(pending_.size());
        return true;
    }

    bool Escape(int function) override
    {
        if (function != SETDTR && function != CLRDTR && function != SETRTS && function != CLRRTS)
            return Fail(WSAEINVAL);
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
        std::uint8_t raw[4096];
        const bool telnet = kind_ == TSerNetKind::Rfc2217;
        for (;;) {
            const std::size_t want = std::min<std::size_t>(telnet ? sizeof raw : count, 1 << 20);
            const int n = recv(s_, reinterpret_cast<char *>(telnet ? raw : out), static_cast<int>(want), 0);
            if (n == 0) {
                lost_ = true;
                return true;
            }
            if (n < 0) {
                const int code = WinsockError();
                if (code == WSAEWOULDBLOCK || code == WSAEINTR)
                    return true;
                if (ConnectionGone(code)) {
                    lost_ = true;
                    return true;
                }
                return Fail(code);
            }
            if (!telnet) {
                got = static_cast<std::size_t>(n);
                return true;
            }
            got = telnet_.Decode(raw, static_cast<std::size_t>(n), out);
            if (telnet_.HasReplies())
                SendCommand(telnet_.TakeReplies());
            if (got > 0)
                return true;
        }
    }

    TSerWriteOutcome StartWrite(const void *data, std::size_t count, std::size_t &written) override
    {
        written = 0;
        if (lost_)
            return (lastError = WSAENOTCONN), TSerWriteOutcome::Failed;
        std::unique_lock lock(sendMutex_, std::try_to_lock);
        if (!lock.owns_lock() || !out_.empty())
            return TSerWriteOutcome::Pending;
        const auto *bytes = static_cast<const std::uint8_t *>(data);
        if (kind_ != TSerNetKind::Rfc2217) {
            const int n = send(s_, reinterpret_cast<const char *>(bytes), static_cast<int>(count), 0);
            if (n >= 0) {
                written = static_cast<std::size_t>(n);
                return TSerWriteOutcome::Done;
            }
            const int code = WinsockError();
            return code == WSAEWOULDBLOCK ? TSerWriteOutcome::Pending : WriteFailed(code);
        }
        out_ = TSerTelnetClient::EscapeData(bytes, count);
        const int n = send(s_, out_.data(), static_cast<int>(out_.size()), 0);
        if (n < 0 && WinsockError() != WSAEWOULDBLOCK) {
            out_.clear();
            return WriteFailed(WinsockError());
        }
        out_.erase(0, n > 0 ? static_cast<std::size_t>(n) : 0);
        written = count;
        return out_.empty() ? TSerWriteOutcome::Done : TSerWriteOutcome::InFlight;
    }

    // The socket's one event object belongs to the event thread, so this
    // waits for room in short steps and looks at stop between them.
    int WaitWrite(const TSerWaitEvent &stop, const void *data, std::size_t count, std::size_t &written) override
    {
        written = 0;
        for (;;) {
            {
                std::unique_lock lock(sendMutex_);
                if (!out_.empty()) {
                    const int n = send(s_, out_.data(), static_cast<int>(out_.size()), 0);
                    if (n < 0 && WinsockError() != WSAEWOULDBLOCK) {
                        out_.clear();
                        WriteFailed(WinsockError());
                        return -2;
                    }
                    out_.erase(0, n > 0 ? static_cast<std::size_t>(n) : 0);
                    if (out_.empty()) {
                        written = count;
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
            if (stop.WaitFor(0) == wrSignaled)
                return 0;
            WaitSocket(s_, true, 20);
        }
    }

    bool Lost() const override { return lost_; }
    int LastError() const override { return lastError; }
    std::string ErrorText(int code) const override
    {
        if (code == lastError && !lastText.empty())
            return lastText;
        char text[512] = {};
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
        while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' '))
            --n;
        return n == 0 ? "Error " + std::to_string(code) : std::string(text, n);
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

    bool Connect(const TSerNetAddress &a, const std::string &path, Clock::time_point deadline)
    {
        if (waiting_.s != INVALID_SOCKET &&
            (waiting_.path != path || Clock::now() - waiting_.started >= timeout_))
            DropWaiting();
        int code = WSAETIMEDOUT;
        if (waiting_.s != INVALID_SOCKET) {
            code = Finish(waiting_.s, deadline);
            if (code == 0)
                s_ = std::exchange(waiting_.s, INVALID_SOCKET);
            else if (code != InProgress)
                DropWaiting();
            else
                return Fail(WSAETIMEDOUT, "no connection within " + DurationText(timeout_));
        }
        if (s_ == INVALID_SOCKET) {
            addrinfo *list = nullptr;
            const int rc = Resolve(a, deadline, list, lookup_);
            if (rc == EAI_AGAIN && MsLeft(deadline) == 0)
                return Fail(WSAETIMEDOUT,
                            "no answer for the host name " + a.Host + " within " + DurationText(timeout_));
            if (rc != 0)
                return Fail(rc, "host " + a.Host + " not found (" + ErrorText(rc) + ")");
            for (addrinfo *ai = list; ai && s_ == INVALID_SOCKET; ai = ai->ai_next) {
                const SOCKET s = socket(ai->ai_family, SOCK_STREAM, IPPROTO_TCP);
                if (s == INVALID_SOCKET) {
                    code = WinsockError();
                    continue;
                }
                u_long nonBlocking = 1;
                ioctlsocket(s, FIONBIO, &nonBlocking);
                code = connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) == 0 ? 0 : WinsockError();
                if (code == WSAEWOULDBLOCK)
                    code = Finish(s, deadline);
                if (code == 0) {
                    s_ = s;
                } else if (code == InProgress) {
                    waiting_ = {s, path, Clock::now()};
                    break;
                } else {
                    closesocket(s);
                }
            }
            freeaddrinfo(list);
        }
        if (s_ == INVALID_SOCKET) {
            if (code == WSAETIMEDOUT || code == InProgress)
                return Fail(WSAETIMEDOUT, "no connection within " + DurationText(timeout_));
            return Fail(code);
        }
        const BOOL on = TRUE;
        setsockopt(s_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
        // A server that vanishes without a word is seen within about 11 s.
        tcp_keepalive ka{1, 5000, 2000};
        DWORD bytes = 0;
        WSAIoctl(s_, SIO_KEEPALIVE_VALS, &ka, sizeof ka, nullptr, 0, &bytes, nullptr, nullptr);
        return true;
    }

    // 0 when connected, InProgress when still under way at the deadline,
    // else why it failed.
    static int Finish(SOCKET s, Clock::time_point deadline)
    {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval tv = Timeval(MsLeft(deadline));
        const int n = select(0, nullptr, &writable, &failed, &tv);
        if (n < 0)
            return WinsockError();
        if (n == 0)
            return InProgress;
        if (FD_ISSET(s, &writable))
            return 0;
        int err = 0;
        int len = sizeof err;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&err), &len);
        return err != 0 ? err : WSAECONNREFUSED;
    }

    void DropWaiting()
    {
        if (waiting_.s != INVALID_SOCKET)
            closesocket(waiting_.s);
        waiting_ = {};
    }

    bool WatchStart()
    {
        Pump(Clock::now() + std::min<std::chrono::milliseconds>(timeout_, StartWatch), [] { return false; });
        return lost_ ? ServerClosed() : true;
    }

    bool ServerClosed()
    {
        const std::string said = ServerWords(pending_);
        return Fail(WSAECONNRESET, "the server closed the connection" + (said.empty() ? "" : ": " + said));
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
            return Fail(WSAEPROTONOSUPPORT, "the server refuses the Telnet COM-PORT-OPTION (RFC 2217)");
        if (lost_)
            return ServerClosed();
        return Fail(WSAETIMEDOUT, "no answer to the Telnet COM-PORT-OPTION (RFC 2217) within " +
                                      DurationText(timeout_) + "; a raw TCP port is tcp://HOST:PORT");
    }

    template <typename Done>
    bool Pump(Clock::time_point deadline, const Done &done)
    {
        std::uint8_t raw[4096];
        std::uint8_t data[4096];
        while (!done()) {
            if (lost_)
                return false;
            const int ready = WaitSocket(s_, false, MsLeft(deadline));
            if (ready <= 0)
                return false;
            const int got = recv(s_, reinterpret_cast<char *>(raw), sizeof raw, 0);
            if (got == 0 || (got < 0 && ConnectionGone(WinsockError()))) {
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
                if (kick_)
                    SetEvent(kick_);
            }
            if (telnet_.HasReplies() && !SendCommand(telnet_.TakeReplies()))
                return false;
        }
        return true;
    }

    bool SendCommand(const std::string &bytes)
    {
        const Clock::time_point deadline = Clock::now() + timeout_;
        std::unique_lock lock(sendMutex_, std::defer_lock);
        while (!lock.try_lock()) {
            if (Clock::now() >= deadline)
                return Fail(WSAETIMEDOUT, "the connection takes no commands");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            const int n = send(s_, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            const int code = WinsockError();
            if (n < 0 && code != WSAEWOULDBLOCK) {
                if (ConnectionGone(code))
                    lost_ = true;
                return Fail(code);
            }
            if (WaitSocket(s_, true, MsLeft(deadline)) == 0)
                return Fail(WSAETIMEDOUT, "the connection takes no commands");
        }
        return true;
    }

    SOCKET s_ = INVALID_SOCKET;
    WSAEVENT netEvent_ = WSA_INVALID_EVENT;
    HANDLE kick_ = nullptr;
    TSerNetKind kind_ = TSerNetKind::None;
    std::chrono::milliseconds timeout_{3000};
    std::uint32_t mask_ = 0;
    std::atomic<bool> lost_{false};
    bool lostReported_ = false;
    TSerTelnetClient telnet_;
    std::vector<std::uint8_t> pending_;
    std::atomic<bool> pendingUnreported_{false};
    std::mutex sendMutex_;
    std::string out_;
    struct {
        SOCKET s = INVALID_SOCKET;
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
    return std::make_unique<TSerBackendNetWin32>();
}

} // namespace glowkite

// The simulated detector's loopback port: frames go to whoever connected last
// to a TCP port on 127.0.0.1. The sockets calls are the same on both systems;
// only the few lines below the #ifdef differ.
#include "sim/SimulatorPort.h"

#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <system_error>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace glowkite {

namespace {

#ifdef _WIN32
using TSocket = SOCKET;
constexpr int NoSignal = 0;

void StartSockets()
{
    static const int rc = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (rc != 0)
        throw std::runtime_error("Cannot start Winsock: " + std::system_category().message(rc));
}
int LastError() { return WSAGetLastError(); }
bool TryAgain(int code) { return code == WSAEWOULDBLOCK; }
std::string ErrorText(int code) { return std::system_category().message(code); }
void CloseSocket(TSocket s) { closesocket(s); }
// Non-blocking, and not inherited by processes started meanwhile.
bool Prepare(TSocket s)
{
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0 &&
           SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
}
// Readable (or writable) within ms.
bool Ready(TSocket s, bool write, int ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &tv) > 0;
}
#else
using TSocket = int;
// A reader that went away must not end the program with SIGPIPE.
constexpr int NoSignal = MSG_NOSIGNAL;

void StartSockets() {}
int LastError() { return errno; }
bool TryAgain(int code) { return code == EAGAIN || code == EWOULDBLOCK || code == EINTR; }
std::string ErrorText(int code) { return std::strerror(code); }
void CloseSocket(TSocket s) { ::close(s); }
bool Prepare(TSocket s)
{
    const int flags = fcntl(s, F_GETFL);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(s, F_SETFD, FD_CLOEXEC) == 0;
}
bool Ready(TSocket s, bool write, int ms)
{
    pollfd p{s, static_cast<short>(write ? POLLOUT : POLLIN), 0};
    return ::poll(&p, 1, ms) > 0;
}
#endif

constexpr TSocket None = static_cast<TSocket>(-1); // INVALID_SOCKET on Windows

TSocket AsSocket(std::intptr_t s)
{
    return static_cast<TSocket>(s);
}

} // namespace

std::string TSimulatorPort::OpenLoopback()
{
    StartSockets();
    const TSocket s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == None)
        throw std::runtime_error("Cannot make a socket: " + ErrorText(LastError()));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0; // the system picks a free one
    socklen_t size = sizeof a;
    if (!Prepare(s) || bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(s, 4) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr *>(&a), &size) != 0) {
        const int code = LastError();
        CloseSocket(s);
        throw std::runtime_error("Cannot listen on 127.0.0.1: " + ErrorText(code));
    }
    CloseLoopback();
    listener_ = static_cast<std::intptr_t>(s);
    return "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
}

void TSimulatorPort::CloseLoopback()
{
    if (reader_ != -1)
        CloseSocket(AsSocket(reader_));
    if (listener_ != -1)
        CloseSocket(AsSocket(listener_));
    reader_ = listener_ = -1;
}

bool TSimulatorPort::TakeNewestReader()
{
    bool taken = false;
    for (;;) {
        const TSocket c = accept(AsSocket(listener_), nullptr, nullptr);
        if (c == None)
            return taken; // none waiting (a failed accept is retried at the next frame)
        if (!Prepare(c)) {
            CloseSocket(c);
            continue;
        }
        if (reader_ != -1)
            CloseSocket(AsSocket(reader_));
        reader_ = static_cast<std::intptr_t>(c);
        taken = true;
    }
}

void TSimulatorPort::DropGoneReader()
{
    // A reader sends nothing; a readable socket is one whose reader has
    // closed (recv answers 0) or was reset. Whatever it did send is dropped.
    char scrap[256];
    while (reader_ != -1 && Ready(AsSocket(reader_), false, 0)) {
        const int n = static_cast<int>(recv(AsSocket(reader_), scrap, sizeof scrap, 0));
        if (n > 0)
            continue;
        if (n < 0 && TryAgain(LastError()))
            break;
        CloseSocket(AsSocket(reader_));
        reader_ = -1;
    }
}

bool TSimulatorPort::SendToReader(const std::vector<std::uint8_t> &bytes)
{
    TakeNewestReader();
    DropGoneReader();
    std::size_t done = 0;
    while (reader_ != -1 && done < bytes.size() && !stop_) {
        const int n = static_cast<int>(send(AsSocket(reader_), reinterpret_cast<const char *>(bytes.data() + done),
                                            static_cast<int>(bytes.size() - done), NoSignal));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && TryAgain(LastError())) {
            // The reader does not keep up: wait for room, but stay stoppable;
            // a newer reader takes over at once, with the next whole frame.
            if (TakeNewestReader())
                return false;
            Ready(AsSocket(reader_), true, 100);
        } else {
            // The reader went away: the next one gets the next frame.
            CloseSocket(AsSocket(reader_));
            reader_ = -1;
        }
    }
    return done == bytes.size();
}

} // namespace glowkite

#pragma once
// A real serial device server for the tests: Debian's ser2net in the
// foreground, on a free localhost port, bridging a raw pseudo-terminal whose
// master end the test holds and writes the detector's bytes to. Also the
// plain listening sockets a test needs for servers that never answer.

#include "support/TestFiles.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <pty.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace glowkite::test {

inline bool Ser2NetInstalled()
{
    return std::system("ser2net -v >/dev/null 2>&1") == 0;
}

inline sockaddr_in Loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

// A localhost port nobody listens on right now.
inline int FreePort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

inline bool Accepts(int port)
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = Loopback(port);
    const bool ok = connect(s, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

// A server that listens and never accepts. The kernel completes a few
// handshakes by itself (the backlog), so a client connects and then hears
// nothing; once `fill` clients sit in the full backlog, further handshakes
// are not answered at all and a connect hangs.
class SilentListener {
public:
    explicit SilentListener(int fill = 0)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in a = Loopback(port_);
        bind(fd_, reinterpret_cast<const sockaddr *>(&a), sizeof a);
        listen(fd_, 0);
        for (int i = 0; i < fill; ++i) {
            const int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(c, reinterpret_cast<const sockaddr *>(&a), sizeof a);
            fillers_.push_back(c);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~SilentListener()
    {
        for (int c : fillers_)
            close(c);
        close(fd_);
    }
    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;
    int Port() const { return port_; }

private:
    int port_ = FreePort();
    int fd_ = -1;
    std::vector<int> fillers_;
};

// The detector's end: a raw pseudo-terminal, so that the line discipline
// neither echoes nor translates before ser2net sets it up. The slave stays
// open here, so that writes to the master never fail while nobody else has it.
struct DetectorPty {
    int master = -1;
    int slave = -1;
    std::string path;
    DetectorPty()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        path = name;
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    ~DetectorPty()
    {
        if (master >= 0)
            close(master);
        if (slave >= 0)
            close(slave);
    }
    DetectorPty(const DetectorPty &) = delete;
    DetectorPty &operator=(const DetectorPty &) = delete;
    void Send(const std::vector<std::uint8_t> &bytes) const
    {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
        }
    }
};

// ser2net in the foreground with a configuration of its own: one
// connection from 127.0.0.1:port to the device, raw TCP or RFC 2217.
class Ser2Net {
public:
    Ser2Net(const std::string &device, bool rfc2217)
    {
        config_ = (dir_ / "ser2net.yaml");
        std::ofstream(config_) << "connection: &detector\n"
                               << "    accepter: " << (rfc2217 ? "telnet(rfc2217),tcp," : "tcp,") << "127.0.0.1,"
                               << port_ << "\n"
                               << "    connector: serialdev," << device << ",9600n81,local\n"
                               << "    options:\n"
                               << "      kickolduser: true\n";
        Start();
    }
    ~Ser2Net() { Stop(); }
    Ser2Net(const Ser2Net &) = delete;
    Ser2Net &operator=(const Ser2Net &) = delete;

    void Start()
    {
        pid_ = fork();
        if (pid_ == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            const std::string pidFile = (dir_ / "pid");
            execlp("ser2net", "ser2net", "-n", "-u", "-c", config_.c_str(), "-P", pidFile.c_str(),
                   static_cast<char *>(nullptr));
            _exit(127);
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Accepts(port_) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // As a server that is switched off: no goodbye on the connection.
    void Stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    bool Ready() const { return pid_ > 0 && Accepts(port_); }
    int Port() const { return port_; }
    std::string Address(bool rfc2217) const
    {
        return std::string(rfc2217 ? "rfc2217" : "tcp") + "://127.0.0.1:" + std::to_string(port_);
    }

private:
    TempDir dir_;
    std::string config_;
    int port_ = FreePort();
    pid_t pid_ = -1;
};

// Waits until the server has a client connected (its listening port has an
// established connection), and then a moment more for it to open its device.
inline bool WaitForClient(int port, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    char local[16];
    std::snprintf(local, sizeof local, ":%04X ", port);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        std::ifstream tcp("/proc/net/tcp");
        std::string line;
        while (std::getline(tcp, line)) {
            // "  sl  local_address rem_address   st": the local side is the server's, 01 established.
            const auto at = line.find(local);
            if (at != std::string::npos && at < 20 && line.substr(at + 6 + 14, 2) == "01") {
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace glowkite::test

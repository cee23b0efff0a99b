// The Winsock network port against a real ser2net. Under Wine the test
// starts the host's ser2net and socat as host programs: socat feeds a
// pseudo-terminal from a named pipe into which the test writes the
// detector's bytes (seen as a file on drive Z:), and ser2net bridges the
// pseudo-terminal.
#include "serial/SerComm.h"

#include <gtest/gtest.h>

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace glowkite;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Z(std::string unixPath)
{
    for (char &c : unixPath)
        if (c == '/')
            c = '\\';
    return "Z:" + unixPath;
}

bool HostHas(const std::string &unixPath)
{
    return GetFileAttributesA(Z(unixPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts a host program; Wine runs a Unix executable as such.
HANDLE Spawn(std::string command)
{
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// Wine cannot wait for a host process: callers look for its effects.
void StartHost(const std::string &command)
{
    if (HANDLE p = Spawn(command))
        CloseHandle(p);
}

bool WaitFor(const std::function<bool()> &done)
{
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

bool WinsockStarted()
{
    static const bool ok = [] {
        WSADATA d;
        return WSAStartup(MAKEWORD(2, 2), &d) == 0;
    }();
    return ok;
}

int FreePort()
{
    WinsockStarted();
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    closesocket(s);
    return ntohs(a.sin_port);
}

bool Accepts(int port)
{
    WinsockStarted();
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<u_short>(port));
    const bool ok = connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    closesocket(s);
    return ok;
}

std::string ReadPid(const std::string &unixPath)
{
    std::ifstream in(Z(unixPath));
    std::string pid;
    in >> pid;
    return pid;
}

bool HostToolsThere()
{
    return HostHas("/usr/sbin/ser2net") && HostHas("/usr/bin/socat") && HostHas("/bin/sh");
}

// socat (det: the detector's named pipe; srv: ser2net's terminal) and
// ser2net on a free localhost port, as host processes, in a folder of their own.
class HostServer {
public:
    explicit HostServer(bool rfc2217)
    {
        static std::atomic<int> counter{0};
        dir_ = "/tmp/gk-net-win-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
        // The detector's end is a named pipe into the pseudo-terminal: a
        // terminal opened through Wine would become the Wine server's, which
        // then takes the hang-up when socat ends. Wine sees neither the pipe
        // nor the terminal's link: the pid file appears once both are there.
        StartHost("/bin/sh -c \"mkdir -p " + dir_ + " && cd " + dir_ +
                  " && { /usr/bin/socat -U pty,raw,echo=0,link=srv PIPE:det,ignoreeof 2>/dev/null & echo $! > pid; }" +
                  " && while [ ! -p det ] || [ ! -e srv ]; do sleep 0.02; done; mv pid socat.pid\"");
        WaitFor([&] { return !ReadPid(dir_ + "/socat.pid").empty(); });
        std::ofstream(Z(dir_ + "/ser2net.yaml"))
            << "connection: &detector\n"
            << "    accepter: " << (rfc2217 ? "telnet(rfc2217),tcp," : "tcp,") << "127.0.0.1," << port_ << "\n"
            << "    connector: serialdev," << dir_ << "/srv,9600n81,local\n"
            << "    options:\n"
            << "      kickolduser: true\n";
        Start();
    }
    ~HostServer()
    {
        Stop();
        StartHost("/bin/sh -c \"kill " + ReadPid(dir_ + "/socat.pid") + "; rm -rf " + dir_ + "\"");
    }
    void Start()
    {
        StartHost("/usr/sbin/ser2net -n -u -c " + dir_ + "/ser2net.yaml -P " + dir_ + "/ser2net.pid");
        WaitFor([&] { return Accepts(port_) && !ReadPid(dir_ + "/ser2net.pid").empty(); });
    }
    // As a server that is switched off: no goodbye on the connection.
    void Stop()
    {
        const std::string pid = ReadPid(dir_ + "/ser2net.pid");
        if (pid.empty())
            return;
        StartHost("/bin/sh -c \"kill -9 " + pid + "; rm -f " + dir_ + "/ser2net.pid\"");
        WaitFor([&] { return !Accepts(port_) && !HostHas(dir_ + "/ser2net.pid"); });
    }
    bool Ready() const { return Accepts(port_); }
    int Port() const { return port_; }
    std::string Detector() const { return Z(dir_ + "/det"); }

private:
    std::string dir_;
    int port_ = FreePort();
};

struct Receiver {
    std::shared_ptr<TSerHandOffQueue> queue = std::make_shared<TSerHandOffQueue>();
    TSerComm comm{queue};
    Bytes got;
    bool lost = false;

    explicit Receiver(const std::string &address)
    {
        comm.SetDeviceName(address);
        comm.SetBaudrate(brUser);
        comm.SetUserBaudrate(35710);
        comm.ClosePause = 0ms;
        comm.OnRxChar = [this](TSerCustomComm &c, int) {
            std::uint8_t ch;
            while (c.ReadChar(ch))
                got.push_back(ch);
        };
        comm.OnPortLost = [this](TSerCustomComm &, const std::string &) { lost = true; };
    }
    bool ServeUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            queue->WaitAndServe(10ms);
        }
        return true;
    }
};

struct DetectorEnd {
    HANDLE h;
    explicit DetectorEnd(const std::string &path)
        : h(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~DetectorEnd()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    void Send(const Bytes &b) const
    {
        DWORD n = 0;
        WriteFile(h, b.data(), static_cast<DWORD>(b.size()), &n, nullptr);
    }
};

// ser2net drops what its device received before it opened it: 0x55 until
// something comes through, then the bytes that count.
void WaitUntilServing(Receiver &r, const DetectorEnd &detector)
{
    ASSERT_TRUE(r.ServeUntil([&] {
        detector.Send({0x55});
        return !r.got.empty();
    }, 10s)) << "nothing came through the server";
    r.ServeUntil([] { return false; }, 200ms);
    r.got.clear();
}

void DropIdle(Bytes &got)
{
    std::size_t i = 0;
    while (i < got.size() && got[i] == 0x55)
        ++i;
    got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(i));
}

#define REQUIRE_HOST_TOOLS()                                                                                          \
    if (!HostToolsThere())                                                                                            \
    GTEST_SKIP() << "needs Wine with the host's ser2net and socat (scripts/deps installs them)"

} // namespace

class SerNetWin32 : public ::testing::TestWithParam<const char *> {};

TEST_P(SerNetWin32, BytesArriveExactlyAndTheServerGoingAwayIsSeen)
{
    REQUIRE_HOST_TOOLS();
    const bool rfc2217 = std::string(GetParam()) == "rfc2217";
    HostServer server(rfc2217);
    ASSERT_TRUE(server.Ready());
    DetectorEnd detector(server.Detector());
    ASSERT_NE(detector.h, INVALID_HANDLE_VALUE);
    const std::string address = std::string(GetParam()) + "://127.0.0.1:" + std::to_string(server.Port());
    Receiver r(address);
    r.comm.Open();
    r.comm.SetDTR(true);
    r.comm.SetRTS(true);
    WaitUntilServing(r, detector);

    Bytes sent(6000);
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = (i / 256) % 3 == 1 ? 0xFF : static_cast<std::uint8_t>(i * 7);
    for (std::size_t i = 0; i < sent.size(); i += 500)
        detector.Send(Bytes(sent.begin() + static_cast<std::ptrdiff_t>(i),
                            sent.begin() + static_cast<std::ptrdiff_t>(std::min(sent.size(), i + 500))));
    r.ServeUntil([&] { return r.got.size() >= sent.size(); }, 10s);
    r.ServeUntil([] { return false; }, 200ms);
    DropIdle(r.got);
    EXPECT_EQ(r.got.size(), sent.size());
    EXPECT_TRUE(r.got == sent) << "the received bytes differ from the sent ones";

    server.Stop();
    EXPECT_TRUE(r.ServeUntil([&] { return r.lost; }, 10s)) << "the end of the server was not seen";
    r.comm.Close();
    try {
        r.comm.Open();
        ADD_FAILURE() << "opened while the server is away";
    } catch (const ESerCommError &e) {
        EXPECT_NE(std::string(e.what()).find(address), std::string::npos) << e.what();
        std::printf("[ message  ] %s\n", e.what());
    }
    server.Start();
    ASSERT_TRUE(server.Ready());
    r.comm.Open();
    r.got.clear();
    WaitUntilServing(r, detector);
    detector.Send(sent);
    r.ServeUntil([&] { return r.got.size() >= sent.size(); }, 10s);
    r.ServeUntil([] { return false; }, 200ms);
    DropIdle(r.got);
    EXPECT_TRUE(r.got == sent) << r.got.size() << " bytes after the restart";
    r.comm.Close();
}

TEST_P(SerNetWin32, RefusedAddressIsAClearError)
{
    const std::string address = std::string(GetParam()) + "://127.0.0.1:" + std::to_string(FreePort());
    Receiver r(address);
    try {
        r.comm.Open();
        FAIL() << "opened " << address;
    } catch (const ESerCommError &e) {
        EXPECT_NE(std::string(e.what()).find(address), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("10061"), std::string::npos) << e.what(); // WSAECONNREFUSED
    }
    EXPECT_FALSE(r.comm.Active());
}

INSTANTIATE_TEST_SUITE_P(Modes, SerNetWin32, ::testing::Values("tcp", "rfc2217"),
                         [](const auto &info) { return std::string(info.param); });

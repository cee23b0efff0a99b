// The network port against a real serial device server: Debian's ser2net,
// started here on a free localhost port, bridging a pseudo-terminal whose
// other end plays the detector.
#include "SerTestPorts.h"
#include "support/Ser2Net.h"

#include "serial/SerComm.h"
#include "serial/SerTermios2.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>

using namespace glowkite;
using namespace serialtest;
using namespace glowkite::test;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The detector's end: a raw pseudo-terminal, so that the line discipline
// neither echoes nor translates before ser2net sets it up.
struct Detector : PtyPair {
    Detector()
    {
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
};

// Every byte value, 0xFF in runs, as a line would carry them.
Bytes Pattern(std::size_t size)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = (i / 256) % 3 == 1 ? 0xFF : static_cast<std::uint8_t>(i * 7);
    return b;
}

struct Receiver;
void WaitUntilServing(Receiver &r, Detector &detector);

struct Receiver {
    std::shared_ptr<TSerHandOffQueue> queue = std::make_shared<TSerHandOffQueue>();
    TSerComm comm{queue};
    Bytes got;
    std::atomic<bool> lost{false};
    std::string lostText;

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
        comm.OnPortLost = [this](TSerCustomComm &, const std::string &text) {
            lostText = text;
            lost = true;
        };
    }
};

// ser2net opens its device when a client connects, after the connection
// is there, and drops what the device received before: the detector's line
// counts from the first byte that came through. 0x55 until then.
constexpr std::uint8_t Idle = 0x55;
void WaitUntilServing(Receiver &r, Detector &detector)
{
    const bool through = ServeUntil(*r.queue, [&] {
        detector.Send({Idle});
        return !r.got.empty();
    }, 5s);
    ASSERT_TRUE(through) << "nothing came through the server";
    ServeUntil(*r.queue, [] { return false; }, 100ms);
    r.got.clear();
}

// Drops the idle bytes still on their way when the frames began.
void DropIdle(Bytes &got)
{
    std::size_t i = 0;
    while (i < got.size() && got[i] == Idle)
        ++i;
    got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(i));
}

std::string Address(const char *scheme, int port)
{
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
}

#define REQUIRE_SER2NET()                                                                                             \
    if (!Ser2NetInstalled())                                                                                          \
    GTEST_SKIP() << "ser2net is not installed (scripts/deps installs it)"

} // namespace

class SerNetServer : public ::testing::TestWithParam<const char *> {};

TEST_P(SerNetServer, BytesArriveExactly)
{
    REQUIRE_SER2NET();
    const bool rfc2217 = std::string(GetParam()) == "rfc2217";
    Detector detector;
    Ser2Net server(detector.path, rfc2217);
    ASSERT_TRUE(server.Ready());
    Receiver r(Address(GetParam(), server.Port()));
    r.comm.Open();
    r.comm.SetDTR(true);
    r.comm.SetRTS(true);
    WaitUntilServing(r, detector);

    const Bytes sent = Pattern(20000);
    const double cpuBefore = ProcessCpuSeconds();
    std::thread writer([&] {
        for (std::size_t i = 0; i < sent.size(); i += 500) {
            detector.Send(Bytes(sent.begin() + i, sent.begin() + std::min(sent.size(), i + 500)));
            std::this_thread::sleep_for(2ms);
        }
    });
    EXPECT_TRUE(ServeUntil(*r.queue, [&] { return r.got.size() >= sent.size(); }, 15s));
    writer.join();
    std::printf("[ figures  ] %s: %.1f us of this process's CPU per 25-byte frame received\n", GetParam(),
                (ProcessCpuSeconds() - cpuBefore) * 1e6 / (static_cast<double>(sent.size()) / 25));
    ServeUntil(*r.queue, [] { return false; }, 200ms); // nothing more may come
    DropIdle(r.got);
    EXPECT_EQ(r.got.size(), sent.size());
    EXPECT_TRUE(r.got == sent) << "the received bytes differ from the sent ones";
    EXPECT_FALSE(r.lost);

    // The other way, through the write thread: also exact.
    const Bytes out = Pattern(1500);
    EXPECT_EQ(r.comm.WriteBuf(out.data(), static_cast<int>(out.size())), static_cast<int>(out.size()));
    const Bytes arrived = detector.Receive(out.size(), 5s);
    EXPECT_TRUE(arrived == out) << arrived.size() << " of " << out.size() << " bytes, or others";
    r.comm.Close();
}

// The server's serial port runs as the line settings say (RFC 2217 only: a
// raw TCP server keeps the line settings of its configuration).
TEST(SerNetRfc2217, ServerPortTakesTheLineSettings)
{
    REQUIRE_SER2NET();
    Detector detector;
    Ser2Net server(detector.path, true);
    ASSERT_TRUE(server.Ready());
    Receiver r(Address("rfc2217", server.Port()));
    r.comm.Open();
    TSerTermios2 t;
    ASSERT_EQ(GetTermios2(detector.slave, t), 0);
    TSerLineState line = DescribeTermios2(t);
    EXPECT_EQ(t.c_ispeed, 35710u);
    EXPECT_EQ(t.c_ospeed, 35710u);
    EXPECT_EQ(line.Databits, 8);
    EXPECT_EQ(line.Parity, 'N');
    EXPECT_EQ(line.Stopbits, 1);
    EXPECT_FALSE(line.RtsCts);
    r.comm.Close();

    // Changes while open reach the server's port at once.
    r.comm.Open();
    r.comm.SetDatabits(db7);
    r.comm.SetParity(paEven);
    r.comm.SetStopbits(sb2);
    r.comm.SetBaudrate(br19200);
    ASSERT_EQ(GetTermios2(detector.slave, t), 0);
    line = DescribeTermios2(t);
    EXPECT_EQ(t.c_ospeed, 19200u);
    EXPECT_EQ(line.Stopbits, 2);
    // Data bits and parity the server did ask for (it confirmed them, or Set*
    // would have raised), but a pseudo-terminal keeps itself at CS8 without
    // parity whatever it is told.
    r.comm.Close();
}

// The server goes away and comes back: the port is lost like an unplugged
// adapter, reopening is refused while it is away, and afterwards frames
// arrive again; only those of the gap are missing, none is torn or doubled.
TEST_P(SerNetServer, ServerRestartLeavesOnlyAGap)
{
    REQUIRE_SER2NET();
    const bool rfc2217 = std::string(GetParam()) == "rfc2217";
    Detector detector;
    Ser2Net server(detector.path, rfc2217);
    ASSERT_TRUE(server.Ready());
    Receiver r(Address(GetParam(), server.Port()));
    r.comm.Open();
    WaitUntilServing(r, detector);

    // 25-byte frames: 00 A1, a 16-bit count, 0xFF bytes, a check byte.
    constexpr std::size_t FrameSize = 25;
    const auto frame = [](std::uint16_t n) {
        Bytes f(FrameSize, 0xFF);
        f[0] = 0x00, f[1] = 0xA1, f[2] = static_cast<std::uint8_t>(n >> 8), f[3] = static_cast<std::uint8_t>(n);
        f[24] = static_cast<std::uint8_t>(f[2] ^ f[3] ^ 0x5A);
        return f;
    };
    constexpr int Frames = 1200;
    std::atomic<bool> restarted{false};
    std::thread writer([&] {
        for (int n = 0; n < Frames; ++n) {
            detector.Send(frame(static_cast<std::uint16_t>(n)));
            std::this_thread::sleep_for(n < Frames / 3 || restarted ? 3ms : 1ms);
        }
    });

    ASSERT_TRUE(ServeUntil(*r.queue, [&] { return r.got.size() > 100 * FrameSize; }, 10s));
    server.Stop();
    ASSERT_TRUE(ServeUntil(*r.queue, [&] { return r.lost.load(); }, 5s)) << "the end of the server was not seen";
    EXPECT_NE(r.lostText.find(Address(GetParam(), server.Port())), std::string::npos) << r.lostText;
    r.comm.Close();

    // While the server is away, an open is refused at once with the reason.
    try {
        r.comm.Open();
        ADD_FAILURE() << "opened while the server is away";
    } catch (const ESerCommError &e) {
        EXPECT_NE(std::string(e.what()).find("Connection refused"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(r.comm.Active());

    server.Start();
    ASSERT_TRUE(server.Ready());
    r.lost = false;
    r.comm.Open(); // what the recording's retry does every 2 s
    restarted = true;
    writer.join();
    const std::size_t expected = static_cast<std::size_t>(Frames) * FrameSize;
    ServeUntil(*r.queue, [&] { return r.got.size() >= expected; }, 3s);
    ServeUntil(*r.queue, [] { return false; }, 300ms);
    r.comm.Close();

    // Take the frames apart again.
    DropIdle(r.got);
    std::vector<int> seen;
    std::size_t stray = 0;
    for (std::size_t i = 0; i < r.got.size();) {
        if (i + FrameSize <= r.got.size() && r.got[i] == 0x00 && r.got[i + 1] == 0xA1) {
            const int n = r.got[i + 2] << 8 | r.got[i + 3];
            const Bytes f(r.got.begin() + static_cast<std::ptrdiff_t>(i),
                          r.got.begin() + static_cast<std::ptrdiff_t>(i + FrameSize));
            if (n < Frames && f == frame(static_cast<std::uint16_t>(n))) {
                seen.push_back(n);
                i += FrameSize;
                continue;
            }
        }
        ++stray, ++i;
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), Frames - 1);
    int gaps = 0, missing = 0;
    for (std::size_t i = 1; i < seen.size(); ++i) {
        ASSERT_GT(seen[i], seen[i - 1]) << "frames doubled or out of order";
        if (seen[i] != seen[i - 1] + 1)
            ++gaps, missing += seen[i] - seen[i - 1] - 1;
    }
    EXPECT_LE(gaps, 1) << "frames missing elsewhere than at the restart";
    EXPECT_LT(stray, 2 * FrameSize) << "more than the frames torn at the restart";
    std::printf("[ figures  ] %s: %d frames sent, %zu received, %d missing in %d gap(s), %zu stray bytes\n",
                GetParam(), Frames, seen.size(), missing, gaps, stray);
}

TEST_P(SerNetServer, RefusedOrSilentAddressIsAClearError)
{
    const int port = FreePort();
    const std::string address = Address(GetParam(), port);
    Receiver r(address);
    try {
        r.comm.Open();
        FAIL() << "opened " << address;
    } catch (const ESerCommError &e) {
        const std::string text = e.what();
        EXPECT_NE(text.find(address), std::string::npos) << text;
        EXPECT_NE(text.find("Connection refused"), std::string::npos) << text;
    }
    EXPECT_FALSE(r.comm.Active());

    // Names are looked up (on a thread of their own, within the time-out).
    Receiver named(std::string(GetParam()) + "://localhost:" + std::to_string(port));
    EXPECT_THROW(
        try { named.comm.Open(); } catch (const ESerCommError &e) {
            EXPECT_NE(std::string(e.what()).find("Connection refused"), std::string::npos) << e.what();
            throw;
        },
        ESerCommError);
    Receiver unknown(std::string(GetParam()) + "://no-such-host.invalid:4001");
    unknown.comm.NetTimeout = 1000ms;
    const auto lookupStart = std::chrono::steady_clock::now();
    try {
        unknown.comm.Open();
        ADD_FAILURE() << "opened an unknown host";
    } catch (const ESerCommError &e) {
        EXPECT_NE(std::string(e.what()).find("no-such-host.invalid"), std::string::npos) << e.what();
        std::printf("[ message  ] %s\n", e.what());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - lookupStart, 3s);

    // A listener that never answers Telnet (a raw port, a wrong service):
    // the RFC 2217 open gives up after the time-out and says why.
    if (std::string(GetParam()) != "rfc2217")
        return;
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    listen(s, 1);
    Receiver silent(Address("rfc2217", ntohs(a.sin_port)));
    silent.comm.NetTimeout = 300ms;
    const auto start = std::chrono::steady_clock::now();
    try {
        silent.comm.Open();
        ADD_FAILURE() << "opened a server that speaks no Telnet";
    } catch (const ESerCommError &e) {
        EXPECT_NE(std::string(e.what()).find("COM-PORT-OPTION"), std::string::npos) << e.what();
    }
    // Bounded: the window must not hang on such a server.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_FALSE(silent.comm.Active());
    close(s);
}

INSTANTIATE_TEST_SUITE_P(Modes, SerNetServer, ::testing::Values("tcp", "rfc2217"),
                         [](const auto &info) { return std::string(info.param); });

// A server whose serial port cannot be opened takes the connection, says so
// and hangs up: the open fails with the server's words, it does not open and
// at once go away.
TEST_P(SerNetServer, ServerWithoutItsDeviceFailsTheOpen)
{
    REQUIRE_SER2NET();
    serialtest::TempDir dir;
    Ser2Net server((dir.path / "no-such-device").string(), std::string(GetParam()) == "rfc2217");
    ASSERT_TRUE(server.Ready());
    Receiver r(Address(GetParam(), server.Port()));
    try {
        r.comm.Open();
        FAIL() << "opened";
    } catch (const ESerCommError &e) {
        const std::string text = e.what();
        EXPECT_NE(text.find(Address(GetParam(), server.Port())), std::string::npos) << text;
        EXPECT_NE(text.find("the server closed the connection"), std::string::npos) << text;
        std::printf("[ message  ] %s\n", text.c_str());
    }
    EXPECT_FALSE(r.comm.Active());
}

// A server that takes no connection (its queue is full, as a host that
// drops them): the first open gives up at the time-out, a retry after it
// waits only briefly, and a connection that comes about later is taken by
// the next open.
TEST(SerNetConnect, SilentServerIsBoundedAndRetriesPickUpTheConnection)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
    ASSERT_EQ(listen(listener, 0), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        connect(fillers.back(), reinterpret_cast<sockaddr *>(&a), sizeof a);
    }
    std::this_thread::sleep_for(100ms);

    const std::string address = Address("tcp", ntohs(a.sin_port));
    Receiver r(address);
    r.comm.NetTimeout = 1500ms;
    const auto timedOpen = [&] {
        const auto start = std::chrono::steady_clock::now();
        std::string error;
        try {
            r.comm.Open();
        } catch (const ESerCommError &e) {
            error = e.what();
        }
        return std::make_pair(std::chrono::steady_clock::now() - start, error);
    };
    auto [first, firstError] = timedOpen();
    ASSERT_FALSE(firstError.empty()) << "connected to a full queue";
    EXPECT_NE(firstError.find(address), std::string::npos) << firstError;
    EXPECT_NE(firstError.find("no connection within 1500 ms"), std::string::npos) << firstError;
    EXPECT_LT(first, 3s);
    auto [retry, retryError] = timedOpen();
    EXPECT_FALSE(retryError.empty());
    EXPECT_LT(retry, 1000ms) << "a retry waited as long as a first open";

    // The server takes connections again: a later open succeeds.
    fcntl(listener, F_SETFL, O_NONBLOCK);
    std::atomic<bool> serving{true};
    std::thread acceptor([&] {
        while (serving) {
            const int c = accept(listener, nullptr, nullptr);
            if (c >= 0)
                fillers.push_back(c);
            else
                std::this_thread::sleep_for(5ms);
        }
    });
    bool opened = false;
    for (int i = 0; i < 40 && !opened; ++i) {
        opened = timedOpen().second.empty();
        if (!opened)
            std::this_thread::sleep_for(200ms);
    }
    EXPECT_TRUE(opened);
    EXPECT_TRUE(r.comm.Active() == opened);
    r.comm.Close();
    serving = false;
    acceptor.join();
    for (int fd : fillers)
        close(fd);
    close(listener);
}

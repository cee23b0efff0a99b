// glowkite-cli recording from a serial device server: Debian's ser2net on
// localhost bridges a pseudo-terminal that the simulated detector feeds. The
// same stream goes to a second pseudo-terminal recorded directly, so the
// network's day file is compared line by line with a plain serial one.
#include "sim/DetectorSimulator.h"
#include "support/Ser2Net.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace glowkite;
using namespace glowkite::test;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

namespace {

// A recorder process: glowkite-cli record --port PORT into a folder of its own.
class Recorder {
public:
    explicit Recorder(const std::string &port)
    {
        log_ = dir_.path().string() + "/LOG/";
        pid_ = fork();
        if (pid_ == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            execl(GLOWKITE_CLI, GLOWKITE_CLI, "record", "--port", port.c_str(), "--log-dir", log_.c_str(),
                  static_cast<char *>(nullptr));
            _exit(127);
        }
    }
    ~Recorder()
    {
        if (pid_ > 0)
            End();
    }
    // SIGTERM, as a user's Ctrl+C; answers the exit code.
    int End()
    {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The day file's lines without their time stamps (the fixed 19
    // characters): what the detector sent, as stored.
    std::vector<std::string> Frames() const
    {
        std::vector<std::string> lines;
        if (!std::filesystem::exists(log_))
            return lines;
        for (const auto &e : std::filesystem::directory_iterator(log_)) {
            if (e.path().extension() != ".glow")
                continue;
            std::istringstream in(ReadFile(e.path()));
            for (std::string line; std::getline(in, line);)
                lines.push_back(line.size() > 19 ? line.substr(19) : line);
        }
        return lines;
    }
    bool WaitForFrames(std::size_t n, std::chrono::milliseconds limit = 20s) const
    {
        const auto end = SteadyClock::now() + limit;
        while (Frames().size() < n && SteadyClock::now() < end)
            std::this_thread::sleep_for(50ms);
        return Frames().size() >= n;
    }

private:
    TempDir dir_;
    std::string log_;
    pid_t pid_ = -1;
};

// The simulated detector, with a 0xFF in every frame (the contamination
// byte) and noise between frames, written to several ports at once.
struct Feed {
    TDetectorSimulator sim{[] {
        TSimOptions o;
        o.contamination = 255;
        o.aqRamp = true;
        o.garbageMax = 2;
        return o;
    }()};
    std::vector<const DetectorPty *> to;
    int sent = 0;
    void Send(int frames)
    {
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < frames; ++i)
            sim.AppendNext(bytes);
        for (const DetectorPty *p : to)
            p->Send(bytes);
        sent += frames;
    }
};

class CliNet : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (!Ser2NetInstalled())
            GTEST_SKIP() << "ser2net is not installed (scripts/deps installs it)";
    }
};

std::string Mode(const ::testing::TestParamInfo<bool> &info)
{
    return info.param ? "Rfc2217" : "Tcp";
}

} // namespace

TEST_P(CliNet, TheDayFileEqualsADirectRecordingOfTheSameStream)
{
    const bool rfc2217 = GetParam();
    DetectorPty bridged, direct;
    Ser2Net server(bridged.path, rfc2217);
    Recorder viaNet(server.Address(rfc2217));
    Recorder viaPty(direct.path);
    ASSERT_TRUE(WaitForClient(server.Port()));
    std::this_thread::sleep_for(300ms); // the direct recorder holds its port too
    Feed feed{.to = {&bridged, &direct}};
    for (int i = 0; i < 10; ++i) {
        feed.Send(50);
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(viaNet.WaitForFrames(500)) << viaNet.Frames().size();
    ASSERT_TRUE(viaPty.WaitForFrames(500)) << viaPty.Frames().size();
    EXPECT_EQ(viaNet.End(), 0);
    EXPECT_EQ(viaPty.End(), 0);
    const auto net = viaNet.Frames();
    EXPECT_EQ(net.size(), 500u);
    EXPECT_TRUE(net == viaPty.Frames()) << "the network's day file differs from the direct one";
    // The 0xFF bytes came through as they were sent (RFC 2217 doubles them
    // on the wire).
    ASSERT_FALSE(net.empty());
    EXPECT_NE(net[0].find("FF"), std::string::npos) << net[0];
}

TEST_P(CliNet, AServerRestartLosesOnlyTheFramesOfTheGap)
{
    const bool rfc2217 = GetParam();
    DetectorPty bridged, direct;
    Ser2Net server(bridged.path, rfc2217);
    Recorder viaNet(server.Address(rfc2217));
    Recorder viaPty(direct.path);
    ASSERT_TRUE(WaitForClient(server.Port()));
    std::this_thread::sleep_for(300ms);
    Feed feed{.to = {&bridged, &direct}};
    // 20 frames every 100 ms for 8 s; the server is away from 2 s to 3 s.
    for (int step = 0; step < 80; ++step) {
        if (step == 20)
            server.Stop();
        if (step == 30)
            server.Start();
        feed.Send(20);
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(viaPty.WaitForFrames(static_cast<std::size_t>(feed.sent)));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(viaNet.End(), 0);
    EXPECT_EQ(viaPty.End(), 0);
    const auto all = viaPty.Frames();
    const auto net = viaNet.Frames();
    ASSERT_EQ(all.size(), static_cast<std::size_t>(feed.sent));
    // The network's file is the direct one with one run of frames missing:
    // those sent while the server was away or the recorder not yet back.
    std::size_t head = 0, tail = 0;
    while (head < net.size() && net[head] == all[head])
        ++head;
    while (tail < net.size() - head && net[net.size() - 1 - tail] == all[all.size() - 1 - tail])
        ++tail;
    EXPECT_EQ(head + tail, net.size()) << "frames out of order or corrupted around the gap";
    const std::size_t gap = all.size() - net.size();
    EXPECT_GE(head, 300u); // everything before the stop at 2 s (400 frames, less what was in flight)
    EXPECT_GE(tail, 500u); // the last 5 s at least
    EXPECT_GT(gap, 0u);
    std::printf("[ figures ] %s: sent %d, stored directly %zu, through ser2net %zu (before the restart %zu, "
                "after %zu), gap %zu frames\n",
                rfc2217 ? "rfc2217" : "tcp", feed.sent, all.size(), net.size(), head, tail, gap);
}

INSTANTIATE_TEST_SUITE_P(Modes, CliNet, ::testing::Values(false, true), Mode);

TEST(CliNetRecord, ARefusedConnectionEndsWithTheAddress)
{
    TempDir dir;
    const std::string address = "tcp://127.0.0.1:" + std::to_string(FreePort());
    const std::string cmd = std::string(GLOWKITE_CLI) + " record --port " + address + " --log-dir " +
                            dir.path().string() + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << out;
    EXPECT_NE(out.find("Keine Verbindung zu " + address), std::string::npos) << out;
}

// Recording from a network port: the connection is made off the owner
// thread, so a server that does not answer never holds it; a refused
// connection is told with the address; Stop gives up a connection under way
// at once; a server that goes away is waited for and resumed, as a port is.
#include "app/core/MemoryView.h"
#include "app/core/Recording.h"
#include "logging/LOGFile.h"
#include "serial/SerComm.h"
#include "sim/DetectorSimulator.h"
#include "support/Ser2Net.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

using namespace glowkite;
using namespace std::chrono_literals;
using glowkite::test::ReadFile;
using glowkite::test::TempDir;
using WallWatch = std::chrono::steady_clock;

namespace {

struct Events : IFrameEvents, IRecordingEvents {
    std::vector<TRecordingState> states;
    std::vector<std::string> notes, failures, connectFailures;
    void ShowProtocol() override {}
    void ProtocolSwitched(std::string_view) override {}
    void FrameFailed(std::string_view m) override { failures.emplace_back(m); }
    void RecordingStateChanged(TRecordingState s) override { states.push_back(s); }
    void ConnectionNote(std::string_view line) override { notes.emplace_back(line); }
    void ConnectFailed(std::string_view m) override { connectFailures.emplace_back(m); }
};

struct Rig {
    TempDir dir;
    std::shared_ptr<TSerHandOffQueue> handOff = std::make_shared<TSerHandOffQueue>();
    TSerComm comm{handOff};
    TMemoryView view;
    TLogFile dataLog;
    TMeasurementDecoder decoder{view, nullptr};
    Events events;
    TFrameReceiver receiver{decoder, &dataLog, events};
    TRecording recording{comm, receiver, events};
    // How often the owner's loop came round: each round waits at most 10 ms
    // for a hand-off, so a blocked owner thread shows as few rounds.
    int rounds = 0;

    Rig()
    {
        comm.ClosePause = 0ms;
        dataLog.Directory = dir.path().string() + "/LOG/";
        dataLog.BaseName = "glowkite";
        dataLog.Extension = "glow";
        dataLog.SetPeriod(lpDay);
        decoder.Intervall = 1;
    }
    template <class Pred>
    bool ServeUntil(Pred pred, std::chrono::milliseconds limit = 10000ms)
    {
        const auto end = WallWatch::now() + limit;
        while (!pred()) {
            if (WallWatch::now() > end)
                return false;
            handOff->WaitAndServe(10ms);
            recording.Tick();
            ++rounds;
        }
        return true;
    }
    std::size_t DayLines() const
    {
        if (!std::filesystem::exists(dir / "LOG"))
            return 0;
        std::size_t n = 0;
        for (const auto &e : std::filesystem::directory_iterator(dir / "LOG")) {
            const std::string bytes = ReadFile(e.path());
            n += static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
        }
        return n;
    }
};

std::vector<std::uint8_t> Frames(TDetectorSimulator &sim, int n)
{
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < n; ++i)
        sim.AppendNext(bytes);
    return bytes;
}

#define REQUIRE_SER2NET()                                                                                             \
    if (!glowkite::test::Ser2NetInstalled())                                                                          \
    GTEST_SKIP() << "ser2net is not installed (scripts/deps installs it)"

} // namespace

TEST(RecordingNet, AServerThatNeverAnswersLeavesTheOwnerThreadFreeAndFailsWithItsAddress)
{
    // The connection is made, but the Telnet side never answers: the open
    // waits the whole time-out, on its own thread.
    glowkite::test::SilentListener server;
    Rig r;
    const std::string address = "rfc2217://127.0.0.1:" + std::to_string(server.Port());
    r.comm.SetDeviceName(address);
    const auto start = WallWatch::now();
    r.recording.Start();
    EXPECT_LT(WallWatch::now() - start, 1s) << "Start waited for the server";
    EXPECT_EQ(r.recording.State(), TRecordingState::Connecting);
    ASSERT_TRUE(r.ServeUntil([&] { return r.recording.State() != TRecordingState::Connecting; }));
    const auto took = WallWatch::now() - start;
    EXPECT_GE(took, 2s); // the time-out of 3 s did pass
    // About 300 rounds of at most 10 ms each fit in 3 s; an owner thread held
    // by the connect would have come round a handful of times.
    EXPECT_GT(r.rounds, 50);
    EXPECT_EQ(r.recording.State(), TRecordingState::Stopped);
    ASSERT_EQ(r.events.connectFailures.size(), 1u);
    EXPECT_NE(r.events.connectFailures[0].find(address), std::string::npos) << r.events.connectFailures[0];
    ASSERT_EQ(r.events.notes.size(), 1u);
    EXPECT_NE(r.events.notes[0].find("Keine Verbindung zu " + address), std::string::npos) << r.events.notes[0];
    EXPECT_FALSE(r.comm.Active());
    EXPECT_EQ(r.events.states,
              (std::vector<TRecordingState>{TRecordingState::Connecting, TRecordingState::Stopped}));
}

TEST(RecordingNet, ARefusedConnectionNamesTheAddressAndAllowsANewStart)
{
    Rig r;
    const std::string address = "tcp://127.0.0.1:" + std::to_string(glowkite::test::FreePort());
    r.comm.SetDeviceName(address);
    r.recording.Start();
    ASSERT_TRUE(r.ServeUntil([&] { return r.recording.State() == TRecordingState::Stopped; }));
    ASSERT_EQ(r.events.connectFailures.size(), 1u);
    const std::string &m = r.events.connectFailures[0];
    EXPECT_NE(m.find(address), std::string::npos) << m;
    EXPECT_NE(m.find("refused"), std::string::npos) << m;
    // And once more: the first attempt's thread is gone, a second one runs.
    r.recording.Start();
    EXPECT_EQ(r.recording.State(), TRecordingState::Connecting);
    ASSERT_TRUE(r.ServeUntil([&] { return r.recording.State() == TRecordingState::Stopped; }));
    EXPECT_EQ(r.events.connectFailures.size(), 2u);
}

TEST(RecordingNet, StopGivesUpAConnectionUnderWayAtOnce)
{
    // A full backlog: the handshake is never answered, the connect hangs.
    glowkite::test::SilentListener server(4);
    Rig r;
    r.comm.NetTimeout = 30s;
    r.comm.SetDeviceName("tcp://127.0.0.1:" + std::to_string(server.Port()));
    r.recording.Start();
    ASSERT_FALSE(r.ServeUntil([&] { return r.recording.State() != TRecordingState::Connecting; }, 300ms));
    const auto start = WallWatch::now();
    r.recording.Stop();
    // Without giving up, Stop would wait for the 30 s time-out.
    EXPECT_LT(WallWatch::now() - start, 5s);
    EXPECT_EQ(r.recording.State(), TRecordingState::Stopped);
    EXPECT_FALSE(r.comm.Active());
    EXPECT_TRUE(r.events.connectFailures.empty()); // the user stopped; nothing failed
    // The component is free again: the dialog may change it, Start works.
    EXPECT_NO_THROW(r.comm.SetDeviceName("tcp://127.0.0.1:" + std::to_string(glowkite::test::FreePort())));
}

class RecordingNetServer : public ::testing::TestWithParam<bool> {};

TEST_P(RecordingNetServer, RecordsFramesAndResumesAfterTheServerRestarts)
{
    REQUIRE_SER2NET();
    const bool rfc2217 = GetParam();
    glowkite::test::DetectorPty detector;
    glowkite::test::Ser2Net server(detector.path, rfc2217);
    Rig r;
    r.recording.RetryInterval = 500ms;
    r.comm.SetDeviceName(server.Address(rfc2217));
    TSimOptions o;
    o.contamination = 255; // a 0xFF in every frame
    TDetectorSimulator sim(o);

    r.recording.Start();
    ASSERT_TRUE(r.ServeUntil([&] { return r.recording.State() == TRecordingState::Recording; }));
    ASSERT_TRUE(glowkite::test::WaitForClient(server.Port()));
    detector.Send(Frames(sim, 100));
    ASSERT_TRUE(r.ServeUntil([&] { return r.DayLines() >= 100; })) << r.DayLines();
    EXPECT_EQ(r.DayLines(), 100u);

    server.Stop();
    ASSERT_TRUE(r.ServeUntil([&] { return r.recording.State() == TRecordingState::WaitingForPort; }));
    // The retries against a server that is away do not hold the owner thread.
    const int before = r.rounds;
    r.ServeUntil([] { return false; }, 1500ms);
    EXPECT_GT(r.rounds - before, 30);
    EXPECT_EQ(r.recording.State(), TRecordingState::WaitingForPort);
    EXPECT_FALSE(r.recording.LastRetryError().empty());

    server.Start();
    ASSERT_TRUE(r.ServeUntil([&] { return r.recording.State() == TRecordingState::Recording; }));
    ASSERT_TRUE(glowkite::test::WaitForClient(server.Port()));
    detector.Send(Frames(sim, 100));
    ASSERT_TRUE(r.ServeUntil([&] { return r.DayLines() >= 200; })) << r.DayLines();
    r.recording.Stop();
    EXPECT_EQ(r.DayLines(), 200u);
    EXPECT_TRUE(r.events.failures.empty());
    ASSERT_GE(r.events.notes.size(), 2u);
    EXPECT_NE(r.events.notes.back().find("wieder hergestellt"), std::string::npos) << r.events.notes.back();
}

INSTANTIATE_TEST_SUITE_P(Modes, RecordingNetServer, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Rfc2217" : "Tcp"; });

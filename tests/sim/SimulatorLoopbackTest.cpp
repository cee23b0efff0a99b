// The simulated detector on a loopback TCP port, read through the serial
// component's network port, as the demo does on Windows: every frame sent is
// stored, a new reader takes over from the old one, and a reader that leaves
// is no fault of the simulator.
#include "app/core/MemoryView.h"
#include "app/core/Recording.h"
#include "logging/LOGFile.h"
#include "serial/SerComm.h"
#include "sim/SimulatorPort.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

using namespace glowkite;
using namespace std::chrono_literals;
using glowkite::test::ReadFile;
using glowkite::test::TempDir;

namespace {

using WallWatch = std::chrono::steady_clock;

std::shared_ptr<TSerHandOffQueue> Queue()
{
    return std::make_shared<TSerHandOffQueue>();
}

bool ServeUntil(TSerHandOffQueue &queue, const std::function<bool()> &done,
                std::chrono::milliseconds limit = 10000ms, const std::function<void()> &tick = {})
{
    const auto end = WallWatch::now() + limit;
    while (!done()) {
        if (WallWatch::now() > end)
            return false;
        queue.WaitAndServe(10ms);
        if (tick)
            tick();
    }
    return true;
}

struct Events : IFrameEvents, IRecordingEvents {
    std::vector<std::string> failures;
    void ShowProtocol() override {}
    void ProtocolSwitched(std::string_view) override {}
    void FrameFailed(std::string_view m) override { failures.emplace_back(m); }
    void RecordingStateChanged(TRecordingState) override {}
    void ConnectionNote(std::string_view) override {}
    void ConnectFailed(std::string_view m) override { failures.emplace_back(m); }
};

// A reader that only counts what arrives and whether its port went away.
struct Reader {
    TSerComm comm;
    std::size_t bytes = 0;
    bool lost = false;
    Reader(std::shared_ptr<TSerHandOffQueue> queue, const std::string &port) : comm(std::move(queue))
    {
        comm.SetDeviceName(port);
        comm.ClosePause = 0ms;
        comm.OnRxChar = [this](TSerCustomComm &c, int) {
            std::uint8_t buf[256];
            while (const int n = c.ReadBuf(buf, sizeof buf))
                bytes += static_cast<std::size_t>(n);
        };
        comm.OnPortLost = [this](TSerCustomComm &, const std::string &) { lost = true; };
    }
};

} // namespace

TEST(SimulatorLoopback, ARecordingFromItStoresEveryFrameSentInOrder)
{
    TSimOptions o;
    o.aqRamp = true; // a different AQ from frame to frame shows order and gaps
    o.garbageMax = 3;
    o.contamination = 255; // a 0xFF in every frame: no byte is taken for Telnet
    TSimulatorPort port(o, 500);
    const std::string name = port.OpenLoopback();
    ASSERT_EQ(name.rfind("tcp://127.0.0.1:", 0), 0u) << name;
    EXPECT_NE(name, "tcp://127.0.0.1:0");

    TempDir dir;
    auto queue = Queue();
    TSerComm comm{queue};
    comm.ClosePause = 0ms;
    TMemoryView view;
    TLogFile dataLog;
    dataLog.Directory = dir.path().string() + "/LOG/";
    dataLog.BaseName = "glowkite";
    dataLog.Extension = "glow";
    dataLog.SetPeriod(lpDay);
    TMeasurementDecoder decoder{view, nullptr};
    decoder.Intervall = 1;
    Events events;
    TFrameReceiver receiver{decoder, &dataLog, events};
    TRecording recording{comm, receiver, events};
    const auto tick = [&] { recording.Tick(); };

    comm.SetDeviceName(name);
    recording.Start();
    ASSERT_TRUE(ServeUntil(*queue, [&] { return recording.State() != TRecordingState::Connecting; }, 10000ms, tick));
    ASSERT_EQ(recording.State(), TRecordingState::Recording) << (events.failures.empty() ? "" : events.failures[0]);
    port.Start(300);
    ASSERT_TRUE(ServeUntil(*queue, [&] { return !port.Running() && view.hexLines.size() >= 300; }, 10000ms, tick))
        << view.hexLines.size() << " of " << port.FramesSent();
    recording.Stop();

    EXPECT_EQ(port.FramesSent(), 300);
    EXPECT_TRUE(port.Error().empty()) << port.Error();
    EXPECT_TRUE(events.failures.empty()) << events.failures[0];
    ASSERT_EQ(view.hexLines.size(), 300u);
    // The same frames, in the same order, as a second simulator makes them.
    TDetectorSimulator reference(o);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(view.Series(TSeries::AQ).Value(i), std::min<int>(reference.NextFrame().aq, 119)) << i;
    std::size_t stored = 0;
    for (const auto &e : std::filesystem::directory_iterator(dir.path() / "LOG"))
        if (e.path().extension() == ".glow") {
            const std::string day = ReadFile(e.path().string());
            stored += static_cast<std::size_t>(std::count(day.begin(), day.end(), '\n'));
        }
    EXPECT_EQ(stored, 300u) << "one day-file line per frame sent";
}

TEST(SimulatorLoopback, ANewReaderTakesOverAndAReaderThatLeavesIsNoFault)
{
    TSimulatorPort port(TSimOptions{}, 200);
    const std::string name = port.OpenLoopback();
    auto queue = Queue();
    Reader first(queue, name), second(queue, name);

    // Nobody connected: the frames go nowhere and are not counted.
    port.Start();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(port.FramesSent(), 0);

    first.comm.Open();
    ASSERT_TRUE(ServeUntil(*queue, [&] { return first.bytes >= 250; })) << first.bytes;
    second.comm.Open();
    ASSERT_TRUE(ServeUntil(*queue, [&] { return first.lost && second.bytes >= 250; }))
        << "first lost: " << first.lost << ", second got " << second.bytes;

    // The reader leaves: no error, and nothing counts as sent until the next.
    second.comm.Close();
    std::this_thread::sleep_for(100ms);
    const std::int64_t sent = port.FramesSent();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(port.FramesSent(), sent);
    EXPECT_TRUE(port.Running());
    EXPECT_TRUE(port.Error().empty()) << port.Error();

    first.comm.Close();
    first.bytes = 0;
    first.lost = false;
    first.comm.Open();
    ASSERT_TRUE(ServeUntil(*queue, [&] { return first.bytes >= 250; })) << first.bytes;
    EXPECT_GT(port.FramesSent(), sent);

    // Hanging up is the port going away for the reader, and stops at once.
    const auto start = WallWatch::now();
    port.Hangup();
    EXPECT_LT(WallWatch::now() - start, 2s);
    EXPECT_FALSE(port.Running());
    ASSERT_TRUE(ServeUntil(*queue, [&] { return first.lost; }));
    first.comm.Close();
}

#include "app/core/FrameReceiver.h"
#include "app/core/MemoryView.h"
#include "sim/DetectorSimulator.h"
#include "sim/SimulatorPort.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace glowkite;

namespace {

struct Events : IFrameEvents {
    std::vector<std::string> switches;
    void ShowProtocol() override {}
    void ProtocolSwitched(std::string_view m) override { switches.emplace_back(m); }
    void FrameFailed(std::string_view m) override { ADD_FAILURE() << m; }
};

struct Receiver {
    TMemoryView view;
    TMeasurementDecoder decoder{view, nullptr};
    Events events;
    TFrameReceiver receiver{decoder, nullptr, events, [] { return LocalTime{2026, 12, 8, 12, 0, 0, 0}; }};
    Receiver() { decoder.Intervall = 1; }
};

} // namespace

TEST(DetectorSimulator, FramesDecodeToTheValuesTheyCarry)
{
    for (bool old : {false, true}) {
        TSimOptions o;
        o.oldProtocol = old;
        o.statusRun = true;
        o.framesPerStatus = 3;
        o.aqRamp = true;
        o.positionRamp = true;
        o.contamination = -1;
        o.garbageMax = 7;
        Receiver r;
        r.decoder.GlowkiteVersion = old;
        TDetectorSimulator sim(o);
        std::vector<TSimFrame> sent;
        for (int i = 0; i < 600; ++i) {
            std::vector<std::uint8_t> bytes;
            TSimFrame f;
            sim.AppendNext(bytes, &f);
            sent.push_back(f);
            for (std::uint8_t b : bytes)
                r.receiver.Receive(b);
        }
        ASSERT_EQ(r.view.hexLines.size(), 600u) << "garbage must never cost a frame";
        EXPECT_TRUE(r.events.switches.empty());
        for (int i = 0; i < 600; ++i) {
            const auto &f = sent[static_cast<std::size_t>(i)];
            EXPECT_EQ(r.view.hexLines[static_cast<std::size_t>(i)], RxLine("08.12.2026 12:00:00", f.bytes));
            EXPECT_EQ(r.view.Series(TSeries::AQ).Value(i), std::min<int>(f.aq, 119));
            EXPECT_DOUBLE_EQ(r.view.Series(TSeries::XPos).Value(i),
                             static_cast<double>(ScalePosition(f.x, old)));
            EXPECT_EQ(r.view.Series(TSeries::Gain).Value(i), ScaleGain(f.contamination));
        }
        // The status run passes alarm, fault and every other flag.
        EXPECT_GE(r.view.statusLines.size(), 12u);
    }
}

TEST(DetectorSimulator, BothMarksAndAProtocolSwitchMidStream)
{
    TSimOptions o;
    o.switchProtocolAfter = 10;
    o.bothMarksEvery = 25;
    Receiver r;
    TDetectorSimulator sim(o);
    for (int i = 0; i < 30; ++i) {
        std::vector<std::uint8_t> bytes;
        sim.AppendNext(bytes);
        for (std::uint8_t b : bytes)
            r.receiver.Receive(b);
    }
    // "+" -> old at frame 10, the both-marks frame 24 switches back to "+",
    // frame 25 (old again) switches once more.
    ASSERT_EQ(r.events.switches.size(), 3u);
    EXPECT_EQ(r.events.switches[0], ProtocolOldMessage);
    EXPECT_EQ(r.view.hexLines.size(), 30u);
}

TEST(SimulatorPort, FramesArriveWholeAtTheSerialEndOfThePty)
{
    TSimOptions o;
    o.garbageMax = 3;
    o.statusRun = true;
    TSimulatorPort port(o, 500);
    const std::string path = port.OpenPty();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << path;
    port.Start(200);
    Receiver r;
    std::uint8_t buf[512];
    while (r.view.hexLines.size() < 200) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 5000), 0) << "frames stopped after " << r.view.hexLines.size();
        const ssize_t n = ::read(fd, buf, sizeof buf);
        for (ssize_t k = 0; k < n; ++k)
            r.receiver.Receive(buf[k]);
    }
    port.Wait();
    EXPECT_EQ(port.FramesSent(), 200);
    EXPECT_TRUE(port.Error().empty());
    ::close(fd);
}

TEST(SimulatorPort, StopsPromptlyWhenNobodyReads)
{
    TSimOptions o;
    TSimulatorPort port(o, FullLineRateFps * 10); // far more than a pty holds unread
    port.OpenPty();
    port.Start();
    ::usleep(300 * 1000);
    port.Stop(); // must not hang in a blocked write
    EXPECT_FALSE(port.Running());
    EXPECT_GT(port.FramesSent(), 0);
}

// The publisher against a real mosquitto broker: every frame once and in
// order with the decoder's values, the status lines, a broker restart, a
// stopped broker that must not stop the day file, and the last will of a
// recorder that is killed.
#include "app/core/Export.h"
#include "app/core/MemoryView.h"
#include "app/core/Session.h"
#include "mqtt/MqttMessages.h"
#include "mqtt/MqttPublisher.h"
#include "serial/SerComm.h"
#include "sim/DetectorSimulator.h"
#include "support/Mosquitto.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <filesystem>
#include <pty.h>
#include <sys/wait.h>

using namespace glowkite;
using namespace glowkite::test;
using namespace std::chrono_literals;

namespace {

struct Quiet : IFrameEvents, IRecordingEvents {
    void ShowProtocol() override {}
    void ProtocolSwitched(std::string_view) override {}
    void FrameFailed(std::string_view m) override { ADD_FAILURE() << m; }
    void RecordingStateChanged(TRecordingState) override {}
    void ConnectionNote(std::string_view) override {}
};

// A session as the recorder has it, writing into a temporary LOG folder;
// every measurement is plotted, so point i belongs to frame i.
struct SessionRig {
    TempDir dir;
    TMemoryView view;
    Quiet events;
    TSession session{view, events, events};
    TMqttPublisher *publisher = nullptr;

    explicit SessionRig(const std::string &url, TMqttOptions options = {})
    {
        session.SetLogDir(dir.path().string() + "/LOG/");
        session.Decoder.Intervall = 1;
        session.Decoder.AllData2Chart = true;
        auto p = std::make_unique<TMqttPublisher>(ParseMqttUrl(url), options);
        publisher = p.get();
        session.PublishTo(std::move(p));
    }
    void Feed(const std::vector<std::uint8_t> &bytes)
    {
        for (std::uint8_t b : bytes)
            session.Receiver.Receive(b);
    }
    std::vector<std::string> FileLines(const char *extension)
    {
        std::vector<std::string> lines;
        if (!std::filesystem::exists(dir.path() / "LOG"))
            return lines;
        for (const auto &e : std::filesystem::directory_iterator(dir.path() / "LOG")) {
            if (e.path().extension() != extension)
                continue;
            const std::string text = ReadFile(e.path().string());
            for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
                lines.push_back(text.substr(at, end - at));
        }
        return lines;
    }
    bool WaitConnected()
    {
        const auto end = std::chrono::steady_clock::now() + 15s;
        while (!publisher->Connected())
            if (std::chrono::steady_clock::now() > end)
                return false;
            else
                std::this_thread::sleep_for(5ms);
        return true;
    }
};

std::vector<std::uint8_t> Frames(TDetectorSimulator &sim, int n)
{
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < n; ++i)
        sim.AppendNext(bytes);
    return bytes;
}

TSimOptions Lively()
{
    TSimOptions o;
    o.statusRun = true;
    o.framesPerStatus = 17;
    o.aqRamp = true;
    o.positionRamp = true;
    o.contamination = -1;
    o.garbageMax = 3;
    return o;
}

bool HasNote(TMqttPublisher &p, std::vector<std::string> &notes, const char *text)
{
    for (std::string &n : p.TakeNotes())
        notes.push_back(std::move(n));
    for (const std::string &n : notes)
        if (n.find(text) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(MqttPublisher, EveryFrameOnceInOrderWithTheDecodersValuesAndTheStatusLines)
{
    MosquittoBroker broker;
    Subscriber sub(broker.Port(), {"det1/#"});
    SessionRig rig(broker.Url("det1"));
    ASSERT_TRUE(rig.WaitConnected());

    // Both generations: the detector switches half way.
    TSimOptions o = Lively();
    o.switchProtocolAfter = 300;
    TDetectorSimulator sim(o);
    const int n = 600;
    rig.Feed(Frames(sim, n));

    ASSERT_TRUE(sub.WaitFor([&] { return sub.Messages("det1/measurement").size() >= n; }))
        << sub.Messages("det1/measurement").size();
    std::this_thread::sleep_for(200ms); // a duplicate would come now
    const std::vector<std::string> rx = sub.Payloads("det1/rx");
    const std::vector<std::string> json = sub.Payloads("det1/measurement");
    // Exactly the day file's lines, once each and in its order.
    EXPECT_EQ(rx, rig.FileLines(".glow"));
    ASSERT_EQ(json.size(), static_cast<std::size_t>(n));

    const TMemoryView &v = rig.view;
    ASSERT_EQ(v.Series(TSeries::AQ).Count(), n);
    bool sawOld = false, sawPlus = false, sawClamp = false;
    for (int i = 0; i < n; ++i) {
        const QJsonObject j = QJsonDocument::fromJson(QByteArray::fromStdString(json[static_cast<std::size_t>(i)])).object();
        ASSERT_FALSE(j.isEmpty()) << json[static_cast<std::size_t>(i)];
        EXPECT_EQ(j["time"].toString().toStdString(), v.Series(TSeries::AQ).Label(i));
        EXPECT_EQ(j["time"].toString().toStdString(), rx[static_cast<std::size_t>(i)].substr(0, LabelLength));
        // The chart draws AQ above 119 as 119.
        const int aq = j["aq"].toInt();
        sawClamp |= aq > 119;
        EXPECT_EQ(std::min(aq, 119), v.Series(TSeries::AQ).Value(i)) << i;
        EXPECT_EQ(j["statusLevel"].toInt(), v.Series(TSeries::Status).Value(i)) << i;
        EXPECT_EQ(j["x"].toDouble(), v.Series(TSeries::XPos).Value(i)) << i;
        EXPECT_EQ(j["y"].toDouble(), v.Series(TSeries::YPos).Value(i)) << i;
        EXPECT_EQ(j["contamination"].toInt(), v.Series(TSeries::Gain).Value(i)) << i;
        const int status = j["status"].toInt();
        EXPECT_EQ(j["statusHex"].toString().toStdString(), ByteToHex(static_cast<std::uint8_t>(status)));
        EXPECT_EQ(j["statusWords"].toString().toStdString(),
                  Cp1252ToUtf8(StatusWords(static_cast<std::uint8_t>(status)).words));
        const std::string protocol = j["protocol"].toString().toStdString();
        sawOld |= protocol == "glowkite";
        sawPlus |= protocol == "glowkite +";
    }
    EXPECT_TRUE(sawOld && sawPlus && sawClamp);

    // The status lines as the status log holds them (there in Windows-1252).
    std::vector<std::string> logged;
    for (const std::string &line : rig.FileLines(".log"))
        logged.push_back(Cp1252ToUtf8(line));
    EXPECT_GT(logged.size(), 20u);
    EXPECT_EQ(sub.Payloads("det1/status"), logged);
    EXPECT_EQ(rig.publisher->MessagesLost(), 0);
}

TEST(MqttPublisher, TheStateIsRetainedAndABrokerRestartLosesNoQueuedFrame)
{
    MosquittoBroker broker(true);
    // A persistent subscriber: the broker keeps what comes for it while
    // it reconnects after the restart.
    auto sub = std::make_unique<Subscriber>(broker.Port(), std::vector<std::string>{"det2/rx", "det2/state"}, "gk-test-sub");
    SessionRig rig(broker.Url("det2"));
    ASSERT_TRUE(rig.WaitConnected());
    ASSERT_TRUE(sub->WaitFor([&] { return !sub->Payloads("det2/state").empty(); }));
    EXPECT_EQ(sub->Payloads("det2/state").back(), "getrennt"); // no recording in this session

    TDetectorSimulator sim(Lively());
    rig.Feed(Frames(sim, 50));
    ASSERT_TRUE(sub->WaitFor([&] { return sub->Payloads("det2/rx").size() >= 50; }));

    broker.Stop();
    ASSERT_TRUE(sub->WaitFor([&] { return !rig.publisher->Connected(); }));
    rig.Feed(Frames(sim, 100)); // queued meanwhile
    broker.Start();
    ASSERT_TRUE(rig.WaitConnected());
    rig.Feed(Frames(sim, 50));

    const std::vector<std::string> expected = rig.FileLines(".glow");
    ASSERT_EQ(expected.size(), 200u);
    ASSERT_TRUE(sub->WaitFor([&] { return sub->Payloads("det2/rx").size() >= 200; }))
        << sub->Payloads("det2/rx").size();
    // QoS 1 is at least once: what was under way at the stop may come twice,
    // but nothing is missing and nothing out of order.
    std::vector<std::string> got;
    for (const std::string &line : sub->Payloads("det2/rx"))
        if (std::find(got.begin(), got.end(), line) == got.end())
            got.push_back(line);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(rig.publisher->MessagesLost(), 0);

    std::vector<std::string> notes;
    EXPECT_TRUE(HasNote(*rig.publisher, notes, "unterbrochen"));
    EXPECT_TRUE(HasNote(*rig.publisher, notes, "hergestellt"));

    // A new subscriber after the restart still finds the state.
    sub.reset();
    Subscriber late(broker.Port(), {"det2/state"});
    ASSERT_TRUE(late.WaitFor([&] { return !late.Messages().empty(); }));
    EXPECT_TRUE(late.Messages().front().retained);
    EXPECT_EQ(late.Messages().front().payload, "getrennt");
}

TEST(MqttPublisher, AStoppedBrokerDoesNotStopTheDayFileAndItsLossesAreCounted)
{
    MosquittoBroker broker;
    TMqttOptions options;
    options.QueueCapacity = 40;
    options.ReconnectDelay = 300ms;
    SessionRig rig(broker.Url("det3"), options);
    ASSERT_TRUE(rig.WaitConnected());

    // A real recording from a pseudo-terminal.
    auto handOff = std::make_shared<TSerHandOffQueue>();
    TSerComm comm(handOff);
    comm.ClosePause = 0ms;
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    comm.SetDeviceName(name);
    TRecording &recording = rig.session.RecordFrom(comm);
    recording.Start();
    Subscriber sub(broker.Port(), {"det3/#"});
    ASSERT_TRUE(sub.WaitFor([&] { auto s = sub.Payloads("det3/state"); return !s.empty() && s.back() == "verbunden"; }));

    TDetectorSimulator sim(Lively());
    auto write = [&](int frames) {
        const std::vector<std::uint8_t> bytes = Frames(sim, frames);
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t k = ::write(master, bytes.data() + done, bytes.size() - done);
            ASSERT_GT(k, 0);
            done += static_cast<std::size_t>(k);
        }
    };
    auto serveUntil = [&](std::size_t lines) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (rig.FileLines(".glow").size() < lines && std::chrono::steady_clock::now() < end)
            handOff->WaitAndServe(10ms);
        return rig.FileLines(".glow").size();
    };
    write(20);
    EXPECT_EQ(serveUntil(20), 20u);

    broker.Stop();
    // Frames keep arriving on disk, one batch after the other, far more
    // than the queue holds.
    for (int batch = 1; batch <= 10; ++batch) {
        write(30);
        ASSERT_EQ(serveUntil(20 + 30u * batch), 20 + 30u * batch);
    }
    EXPECT_GT(rig.publisher->MessagesLost(), 0);
    std::vector<std::string> notes;
    EXPECT_TRUE(HasNote(*rig.publisher, notes, "unterbrochen"));

    broker.Start();
    ASSERT_TRUE(rig.WaitConnected());
    Subscriber after(broker.Port(), {"det3/#"});
    write(10);
    EXPECT_EQ(serveUntil(330), 330u);
    const std::vector<std::string> lines = rig.FileLines(".glow");
    ASSERT_TRUE(after.WaitFor([&] {
        auto rx = after.Payloads("det3/rx");
        return !rx.empty() && rx.back() == lines.back();
    }));
    // What was dropped is said once the queue has run dry.
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!HasNote(*rig.publisher, notes, "verworfen") && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(HasNote(*rig.publisher, notes, "verworfen"));
    recording.Stop();
    ::close(master);
}

TEST(MqttPublisher, AKilledRecorderLeavesItsLastWillAndAnEndedOneSaysOffline)
{
    MosquittoBroker broker;
    for (const int signal : {SIGKILL, SIGTERM}) {
        TempDir dir;
        int master = -1, slave = -1;
        char name[256];
        ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        ::close(slave);
        const std::string topic = signal == SIGKILL ? "killed" : "ended";
        Subscriber sub(broker.Port(), {topic + "/#"});
        const std::string log = (dir.path() / "LOG").string();
        const std::string url = broker.Url(topic);
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::freopen("/dev/null", "w", stderr);
            ::execl(GLOWKITE_CLI, GLOWKITE_CLI, "record", "--port", name, "--log-dir", log.c_str(), "--mqtt",
                    url.c_str(), nullptr);
            ::_exit(127);
        }
        ASSERT_TRUE(sub.WaitFor([&] {
            auto s = sub.Payloads(topic + "/state");
            return !s.empty() && s.back() == "verbunden";
        }));
        TDetectorSimulator sim({});
        const std::vector<std::uint8_t> bytes = Frames(sim, 5);
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ASSERT_TRUE(sub.WaitFor([&] { return sub.Payloads(topic + "/rx").size() == 5; }));

        ::kill(pid, signal);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(sub.WaitFor([&] {
            auto s = sub.Payloads(topic + "/state");
            return !s.empty() && s.back() == "offline";
        })) << topic;
        const std::vector<std::string> states = sub.Payloads(topic + "/state");
        if (signal == SIGTERM) {
            // A recorder that ends says it stopped before it goes (the
            // broker may add the will's "offline" when the process is gone
            // before its disconnect left).
            const auto connected = std::find(states.rbegin(), states.rend(), "verbunden");
            ASSERT_NE(connected, states.rend());
            EXPECT_NE(std::find(states.rbegin(), connected, "getrennt"), connected) << states.size();
        }
        ::close(master);
    }
}

// The MQTT publisher's figures, against a real mosquitto on localhost:
//   messages per frame and their delay (handed to the receiver -> received
//   by a subscriber) at the detector's line rate, and the receive path's
//   cost per frame without a publisher, with one, and with the broker away.
#include "app/core/Session.h"
#include "mqtt/MqttPublisher.h"
#include "sim/DetectorSimulator.h"
#include "support/Mosquitto.h"

#include <algorithm>
#include <cstdio>

using namespace glowkite;
using namespace glowkite::test;
using clk = std::chrono::steady_clock;

namespace {

struct NullView : IMeasurementView {
    std::array<int, SeriesCount> n{};
    void AppendPoint(TSeries s, double, std::string_view, TColor) override { ++n[static_cast<int>(s)]; }
    void ClearSeries() override { n = {}; }
    int PointCount(TSeries s) const override { return n[static_cast<int>(s)]; }
    void SetSeriesVisible(TSeries, bool) override {}
    void UndoZoom() override {}
    void AppendStatusLine(std::string_view) override {}
    void AppendHexLine(std::string_view) override {}
    void ClearPanes() override {}
    void ReplaceHexLines(TLineStore &&) override {}
    void SetCountText(std::string_view) override {}
};
struct Quiet : IFrameEvents, IRecordingEvents {
    void ShowProtocol() override {}
    void ProtocolSwitched(std::string_view) override {}
    void FrameFailed(std::string_view m) override { std::fprintf(stderr, "%.*s\n", int(m.size()), m.data()); }
    void RecordingStateChanged(TRecordingState) override {}
    void ConnectionNote(std::string_view) override {}
};

struct Rig {
    TempDir dir;
    NullView view;
    Quiet events;
    TSession session{view, events, events};
    TMqttPublisher *publisher = nullptr;
    explicit Rig(const std::string *url, TMqttOptions o = {})
    {
        session.SetLogDir(dir.path().string() + "/LOG/");
        if (url) {
            auto p = std::make_unique<TMqttPublisher>(ParseMqttUrl(*url), o);
            publisher = p.get();
            session.PublishTo(std::move(p));
            while (!publisher->Connected())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
};

std::vector<std::vector<std::uint8_t>> MakeFrames(int n)
{
    TSimOptions o;
    o.statusRun = true;
    o.aqRamp = true;
    TDetectorSimulator sim(o);
    std::vector<std::vector<std::uint8_t>> frames(static_cast<std::size_t>(n));
    for (auto &f : frames)
        sim.AppendNext(f);
    return frames;
}

// Microseconds per frame for handing frames to the receiver (day file
// written, decoded, published).
double CostPerFrame(Rig &rig, const std::vector<std::vector<std::uint8_t>> &frames)
{
    const auto t0 = clk::now();
    for (const auto &f : frames)
        for (std::uint8_t b : f)
            rig.session.Receiver.Receive(b);
    return std::chrono::duration<double, std::micro>(clk::now() - t0).count() / static_cast<double>(frames.size());
}

} // namespace

int main()
{
    MosquittoBroker broker;
    const std::string url = broker.Url("bench/det");

    {
        // Delay at line rate: 143 frames a second for 5 s.
        Subscriber sub(broker.Port(), {"bench/#"});
        Rig rig(&url);
        const auto frames = MakeFrames(715);
        std::vector<clk::time_point> handed;
        const auto start = clk::now();
        for (std::size_t i = 0; i < frames.size(); ++i) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(7000 * static_cast<long>(i)));
            handed.push_back(clk::now());
            for (std::uint8_t b : frames[i])
                rig.session.Receiver.Receive(b);
        }
        sub.WaitFor([&] { return sub.Messages("bench/det/measurement").size() >= frames.size(); });
        const auto rx = sub.Messages("bench/det/rx");
        std::vector<double> delays;
        for (std::size_t i = 0; i < rx.size() && i < handed.size(); ++i)
            delays.push_back(std::chrono::duration<double, std::milli>(rx[i].at - handed[i]).count());
        std::sort(delays.begin(), delays.end());
        const std::size_t total = sub.Messages().size();
        const std::size_t state = sub.Messages("bench/det/state").size();
        std::printf("frames %zu, messages %zu (rx %zu, measurement %zu, status %zu, state %zu): %.3f per frame\n",
                    frames.size(), total, rx.size(), sub.Messages("bench/det/measurement").size(),
                    sub.Messages("bench/det/status").size(), state,
                    static_cast<double>(total - state) / static_cast<double>(frames.size()));
        if (!delays.empty())
            std::printf("delay handed to receiver -> subscriber (rx): median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                        delays[delays.size() / 2], delays[delays.size() * 99 / 100], delays.back());
    }

    const auto frames = MakeFrames(50000);
    {
        Rig rig(nullptr);
        std::printf("receive path, no publisher:      %.2f us per frame\n", CostPerFrame(rig, frames));
    }
    {
        Rig rig(&url);
        std::printf("receive path, publisher, broker up: %.2f us per frame\n", CostPerFrame(rig, frames));
    }
    {
        TMqttOptions o;
        Rig rig(&url, o);
        broker.Stop();
        while (rig.publisher->Connected())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const double cost = CostPerFrame(rig, frames);
        std::printf("receive path, publisher, broker away: %.2f us per frame (%lld messages dropped)\n", cost,
                    static_cast<long long>(rig.publisher->MessagesLost()));
    }
    return 0;
}

// glowkite --watch: RX lines published to a detector's topic on a real
// mosquitto broker appear in the window's panes and chart, offscreen; the
// lines of another detector on the same broker do not; nothing is written.
#include "app/Program.h"
#include "app/StartOptions.h"
#include "app/UGlowKite.h"
#include "app/ui/ChartAdapter.h"
#include "app/ui/TextLinesModel.h"
#include "mqtt/MqttWatcher.h"
#include "sim/DetectorSimulator.h"
#include "support/Mosquitto.h"
#include "support/QtHelpers.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>

#include <filesystem>

using namespace glowkite;
using namespace glowkite::test;

namespace {

// Publishes as a recorder would, with libmosquitto.
class Publisher {
public:
    explicit Publisher(int port)
    {
        mosquitto_lib_init();
        m_ = mosquitto_new(nullptr, true, nullptr);
        EXPECT_EQ(mosquitto_connect(m_, "127.0.0.1", port, 30), MOSQ_ERR_SUCCESS);
        mosquitto_loop_start(m_);
    }
    ~Publisher()
    {
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, false);
        mosquitto_destroy(m_);
    }
    void Send(const std::string &topic, const std::string &payload, bool retain = false)
    {
        EXPECT_EQ(mosquitto_publish(m_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                                    retain),
                  MOSQ_ERR_SUCCESS);
    }

private:
    mosquitto *m_;
};

bool WaitFor(const std::function<bool()> &pred, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(5);
    }
    return true;
}

std::vector<std::string> RxLines(TDetectorSimulator &sim, int n, int secondsFrom)
{
    std::vector<std::string> lines;
    for (int i = 0; i < n; ++i) {
        std::vector<std::uint8_t> bytes;
        TSimFrame frame;
        sim.AppendNext(bytes, &frame);
        const std::size_t start = bytes.size() - FrameSize;
        char label[32];
        std::snprintf(label, sizeof label, "09.12.2026 10:%02d:%02d", (secondsFrom + i) / 60 % 60, (secondsFrom + i) % 60);
        lines.push_back(RxLine(label, std::span<const std::uint8_t>(bytes.data() + start, FrameSize)));
    }
    return lines;
}

} // namespace

TEST(WatchWindow, FramesOfTheWatchedTopicAppearInPanesAndChartAndNothingIsWritten)
{
    RuntimeDirOverride runtime;
    MosquittoBroker broker;
    TempDir dir;
    TProgram program(PathsIn(dir));
    TForm_GlowKite *w = program.Form_GlowKite.get();
    w->show();
    TStartOptions options;
    options.Watch = broker.Url("hall/det-a");
    program.Begin(options);
    ASSERT_NE(w->MqttWatcher(), nullptr);
    EXPECT_FALSE(w->findChild<QAction *>(QStringLiteral("act_Start"))->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return w->MqttWatcher()->Connected(); }));

    Publisher pub(broker.Port());
    pub.Send("hall/det-a/state", "verbunden", true);
    TSimOptions o;
    o.statusRun = true;
    o.framesPerStatus = 10;
    TDetectorSimulator simA(o), simB({});
    const std::vector<std::string> a = RxLines(simA, 40, 0);
    for (const std::string &line : RxLines(simB, 15, 0))
        pub.Send("hall/det-b/rx", line);
    for (const std::string &line : a)
        pub.Send("hall/det-a/rx", line);
    pub.Send("hall/det-a/rx", "no RX line at all");

    ASSERT_TRUE(WaitFor([&] { return w->mem_HEX().Lines().Count() >= 40; })) << w->mem_HEX().Lines().Count();
    QTest::qWait(200);
    ASSERT_EQ(w->mem_HEX().Lines().Count(), 40);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(w->mem_HEX().Lines().Line(i), a[static_cast<std::size_t>(i)]);
    // Every measurement of a changing status is plotted, the status lines
    // are those of the frames' flags (four steps of ten frames).
    EXPECT_GE(w->Chart().Count(TSeries::AQ), 4);
    ASSERT_GE(w->mem_Status().Lines().Count(), 4);
    EXPECT_EQ(w->mem_Status().Lines().Line(0).substr(0, LabelLength), "09.12.2026 10:00:00");
    // The bad line is named once in the status pane.
    bool named = false;
    for (int i = 0; i < w->mem_Status().Lines().Count(); ++i)
        named |= w->mem_Status().Lines().Line(i).find("nicht lesbar") != std::string_view::npos;
    EXPECT_TRUE(named);
    EXPECT_TRUE(WaitFor([&] { return w->PanelText(0) == QStringLiteral("verbunden"); }));
    EXPECT_EQ(w->PanelText(1), QStringLiteral("hall/det-a"));

    // The recorder's last will shows in the status bar.
    pub.Send("hall/det-a/state", "offline", true);
    EXPECT_TRUE(WaitFor([&] { return w->PanelText(0) == QStringLiteral("offline"); }));

    // Watching writes no files: no day file, no status log.
    const auto log = dir.path() / "LOG";
    std::size_t files = 0;
    if (std::filesystem::exists(log))
        for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(log))
            ++files;
    EXPECT_EQ(files, 0u);
}

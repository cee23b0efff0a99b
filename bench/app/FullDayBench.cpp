// A whole day at full line rate in the real window (offscreen): a simulated
// worst-case detector (AQ changes with every frame, so every frame is
// plotted) is fed through the window's decoder by a frame receiver whose
// clock runs at the line rate from today's midnight, into the real chart and
// panes. At each size it reports the memory per frame, the chart's redraw
// time in the full view and zoomed, the time of each key and mouse action
// with the redraw that follows, the panes' cost of following new lines, and
// the CPU of a paced window of live recording at the line rate (the real
// recording path: simulated detector on a pseudo-terminal, serial threads,
// day file).
//
//   bench_fullday [--paced SECONDS] [FRAMES...]
// FRAMES: the sizes to measure at, ascending (default 1000000 4000000
// 12300000); the day is filled up to each in turn. SECONDS: the paced
// window at each size (default 60).
//
// The bulk fill bypasses the day file (it would be 1.25 GB written line by
// line); the paced window writes it as live recording does.

#include "app/Program.h"
#include "app/UGlowKite.h"
#include "app/core/FrameReceiver.h"
#include "app/ui/ChartAdapter.h"
#include "app/ui/TextLinesModel.h"
#include "portcfg/UCom.h"
#include "serial/SerComm.h"
#include "sim/DetectorSimulator.h"
#include "sim/SimulatorPort.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScrollBar>
#include <QTimer>

#include <sys/resource.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace glowkite;

namespace {

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double ProcessCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU seconds of each thread of this process, by thread id.
// CPU seconds of one thread of this process, from its /proc task folder (0 once it is gone).
double ThreadCpuOf(const std::filesystem::path &task)
{
    std::ifstream in(task / "stat");
    std::string stat;
    std::getline(in, stat);
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::atof(field.c_str());
        if (i == 15) {
            stime = std::atof(field.c_str());
            break;
        }
    }
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// CPU seconds of each thread of this process, by thread id.
std::map<int, double> ThreadCpu()
{
    std::map<int, double> cpu;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/task"))
        cpu[std::atoi(entry.path().filename().c_str())] = ThreadCpuOf(entry.path());
    return cpu;
}

long StatusKb(const char *key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    return 0;
}

std::string FirstLine(const char *file, const char *prefix)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0)
            return line;
    return {};
}

// Milliseconds of one call of f, the median of n calls.
double MedianMs(int n, const std::function<void()> &f)
{
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

class VectorSource : public IByteSource {
public:
    explicit VectorSource(const std::vector<std::uint8_t> &bytes) : bytes_(bytes) {}
    bool ReadChar(std::uint8_t &ch) override
    {
        if (pos_ >= bytes_.size())
            return false;
        ch = bytes_[pos_++];
        return true;
    }

private:
    const std::vector<std::uint8_t> &bytes_;
    std::size_t pos_ = 0;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    double paced = 60;
    std::vector<std::int64_t> sizes;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--paced") == 0 && i + 1 < argc)
            paced = std::atof(argv[++i]);
        else
            sizes.push_back(std::atoll(argv[i]));
    }
    if (sizes.empty())
        sizes = {1000000, 4000000, 12300000};
    QApplication app(argc, argv);

    utsname u{};
    uname(&u);
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("machine             %s, %s %s, %s\n", FirstLine("/proc/cpuinfo", "model name").c_str(), u.sysname,
                u.release, FirstLine("/proc/meminfo", "MemTotal").c_str());
    std::printf("load at start       %.2f %.2f %.2f (%ld cores)\n", load[0], load[1], load[2],
                sysconf(_SC_NPROCESSORS_ONLN));

    char pattern[] = "/tmp/glowkite-fullday-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    ProgramPaths paths;
    paths.IniFile = (dir / "glowkite.INI").string();
    paths.LogDir = (dir / "LOG").string() + "/";
    {
        // All five series shown: the most a redraw has to draw.
        std::ofstream ini(paths.IniFile);
        ini << "[Graph]\r\nxPosActive=1\r\nyPosActive=1\r\nGain=1\r\n";
    }
    TProgram program(paths);
    TForm_GlowKite &w = *program.Form_GlowKite;
    w.resize(1280, 900);
    w.show();
    QApplication::processEvents();
    TChartAdapter &chart = w.Chart();

    // The simulated day: frame n at n / 142.84 s after today's midnight.
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    std::int64_t frame = 0;
    const Clock dayClock = [&] {
        const auto ms = static_cast<std::int64_t>(static_cast<double>(frame) * 1000.0 / FullLineRateFps);
        LocalTime t;
        t.year = today.tm_year + 1900;
        t.month = today.tm_mon + 1;
        t.day = today.tm_mday;
        t.hour = static_cast<int>(std::min<std::int64_t>(23, ms / 3600000));
        t.minute = static_cast<int>(ms / 60000 % 60);
        t.second = static_cast<int>(ms / 1000 % 60);
        t.millisecond = static_cast<int>(ms % 1000);
        return t;
    };
    TFrameReceiver fill(w.Decoder(), nullptr, w, dayClock);
    TSimOptions o;
    o.aqRamp = true;       // a new AQ every frame: every frame plotted
    o.positionRamp = true;
    o.contamination = -1;
    o.statusRun = true;
    o.framesPerStatus = 143 * 60; // a status change a minute
    TDetectorSimulator sim(o);

    const long rss0 = StatusKb("VmRSS:");
    std::printf("RSS before the day  %ld kB\n\n", rss0);
    std::vector<std::uint8_t> bytes;
    for (std::int64_t size : sizes) {
        QElapsedTimer fillTime;
        fillTime.start();
        while (frame < size) {
            bytes.clear();
            const std::int64_t batch = std::min<std::int64_t>(size - frame, 1000);
            for (std::int64_t i = 0; i < batch; ++i)
                sim.AppendNext(bytes);
            VectorSource source(bytes);
            std::uint8_t b;
            while (source.ReadChar(b)) {
                fill.Receive(b);
                if (fill.RxBuffer().empty())
                    ++frame;
            }
            if (frame % 500000 < 1000)
                QApplication::processEvents();
        }
        w.mem_HEX().Lines().Publish();
        w.mem_Status().Lines().Publish();
        QApplication::processEvents();
        const double fillSeconds = static_cast<double>(fillTime.elapsed()) / 1000.0;
        const long rss = StatusKb("VmRSS:");
        const int points = chart.Count(TSeries::AQ);
        std::printf("== %lld frames (%d points per series, %d hex lines, %d status lines; filled in %.1f s)\n",
                    static_cast<long long>(frame), points, w.mem_HEX().Lines().Count(),
                    w.mem_Status().Lines().Count(), fillSeconds);
        std::printf("memory              RSS %ld kB: %.0f bytes per frame (whole program %.0f MB)\n", rss,
                    1024.0 * static_cast<double>(rss - rss0) / static_cast<double>(frame), rss / 1024.0);

        // Redraws.
        chart.UndoZoom();
        const double full = MedianMs(5, [&] { chart.Replot(); });
        const TAxisRange all = chart.Range(TChartAxis::Bottom);
        auto zoomTo = [&](double from, double to) {
            chart.SetRange(TChartAxis::Bottom, {from, to});
            chart.SetRange(TChartAxis::Top, {from, to});
        };
        auto fullView = [&] {
            chart.SetAutomatic(TChartAxis::Bottom, true);
            chart.SetAutomatic(TChartAxis::Top, true);
        };
        zoomTo(points - 1000.0, points - 1.0);
        const double zoom1k = MedianMs(5, [&] { chart.Replot(); });
        zoomTo(points / 2.0, points / 2.0 + points / 100.0);
        const double zoom1 = MedianMs(5, [&] { chart.Replot(); });
        fullView();
        chart.Replot();
        std::printf("redraw              full view %.1f ms, 1/100 of the day %.1f ms, last 1000 points %.1f ms\n",
                    full, zoom1, zoom1k);

        // Keys and mouse, each with the redraw that shows its result.
        auto act = [&](const std::function<void()> &f) {
            return MedianMs(3, [&] {
                f();
                chart.Replot();
            });
        };
        const QRect plotArea(static_cast<int>(chart.BottomValueToPixel(all.min)), 0,
                             static_cast<int>(chart.BottomValueToPixel(all.max) - chart.BottomValueToPixel(all.min)),
                             chart.Widget()->height());
        const double f3 = act([&] { w.FormKeyDown(Qt::Key_F3); });
        const double f1 = act([&] { w.FormKeyDown(Qt::Key_F1); });
        const double f2 = act([&] { w.FormKeyDown(Qt::Key_F2); });
        const double f4 = act([&] { w.FormKeyDown(Qt::Key_F4); });
        const double esc = act([&] { w.FormKeyDown(Qt::Key_Escape); });
        const double dbl = act([&] {
            w.cht_DataDblClick(QPointF(plotArea.center()));
            chart.UndoZoom();
        });
        const double rect = act([&] {
            chart.ZoomToRect(QRect(plotArea.left() + plotArea.width() / 3, 40, plotArea.width() / 4, 200));
            chart.UndoZoom();
        });
        const double statusLine = act([&] {
            const int last = w.mem_Status().Lines().Count() - 1;
            w.mem_Status().setCurrentIndex(w.mem_Status().model()->index(last, 0));
            emit w.mem_Status().lineDoubleClicked(last);
            chart.UndoZoom();
        });
        std::printf("keys and mouse      F3 %.1f, F1 %.1f, F2 %.1f, F4 %.1f, Esc %.1f, double click %.1f, "
                    "rectangle zoom %.1f, status line %.1f ms (each with its redraw; the last three with an "
                    "Esc and its redraw as well)\n",
                    f3, f1, f2, f4, esc, dbl, rect, statusLine);

        // The hex pane following the end: one display interval's lines
        // published (the view scrolls to the end), then painted.
        TTextPane &hex = w.mem_HEX();
        hex.verticalScrollBar()->setValue(hex.verticalScrollBar()->maximum());
        const double follow = MedianMs(5, [&] {
            for (int i = 0; i < 6; ++i)
                hex.AddLine(hex.Lines().Line(hex.Lines().Count() - 1));
            hex.Lines().Publish();
            hex.viewport()->repaint();
        });
        const double toBottom = MedianMs(5, [&] {
            hex.scrollToTop();
            hex.scrollToBottom();
            hex.viewport()->repaint();
        });
        std::printf("hex pane            6 new lines shown %.2f ms, scroll to the top and back to the end %.2f ms\n",
                    follow, toBottom);

        // Paced windows of live recording at the line rate: the automatic
        // full view, then zoomed onto the newest points (the range reaching
        // past the end, so every new point lands in view).
        if (paced > 0) {
            TSimulatorPort live(o, FullLineRateFps);
            program.FComCfg->SerialComm().SetDeviceName(live.OpenPty());
            for (const bool zoomed : {false, true}) {
                if (zoomed) {
                    const double end = chart.Count(TSeries::AQ) + paced * FullLineRateFps + 100;
                    zoomTo(end - paced * FullLineRateFps - 1000, end);
                } else {
                    fullView();
                }
                chart.Replot();
                w.act_StartExecute();
                QApplication::processEvents();
                const int before = w.mem_HEX().Lines().Count();
                int replots = 0;
                QMetaObject::Connection replotted = QObject::connect(
                    qobject_cast<QCustomPlot *>(chart.Widget()), &QCustomPlot::afterReplot, [&] { ++replots; });
                const std::map<int, double> threads0 = ThreadCpu();
                const double cpu0 = ProcessCpuSeconds(), gui0 = ThreadCpuSeconds();
                QElapsedTimer wall;
                wall.start();
                const auto frames = static_cast<std::int64_t>(paced * FullLineRateFps);
                const std::int64_t sent0 = live.FramesSent();
                live.Start(frames);
                // The simulated detector's thread is the one that is new
                // now; its time is the bench's, not the program's.
                // It is looked for once; later checks read its figure alone,
                // so that the bench's watching costs next to nothing.
                std::map<int, double> simulator;
                // A loop of its own: quitting the application's loop would
                // close the window, and the next windows would paint nothing.
                QEventLoop loop;
                QTimer done;
                done.setInterval(250);
                QObject::connect(&done, &QTimer::timeout, [&] {
                    if (simulator.empty()) {
                        for (const auto &[tid, seconds] : ThreadCpu())
                            if (!threads0.count(tid))
                                simulator[tid] = seconds;
                    } else {
                        for (auto &[tid, seconds] : simulator)
                            if (const double now = ThreadCpuOf("/proc/self/task/" + std::to_string(tid)); now > 0)
                                seconds = now;
                    }
                    const bool all = w.mem_HEX().Lines().Count() - before >= live.FramesSent() - sent0;
                    if (!live.Running() && (all || wall.elapsed() > static_cast<qint64>((paced + 5) * 1000)))
                        loop.quit();
                });
                done.start();
                loop.exec();
                if (!w.isVisible())
                    std::printf("(the window was closed meanwhile: what follows was not painted)\n");
                QObject::disconnect(replotted);
                const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
                const double cpu = ProcessCpuSeconds() - cpu0, gui = ThreadCpuSeconds() - gui0;
                double sim = 0;
                for (const auto &entry : simulator)
                    sim += entry.second;
                w.act_StoppExecute();
                w.mem_HEX().Lines().Publish();
                const long long shown = w.mem_HEX().Lines().Count() - before;
                std::printf("paced %.0f s %-7s %lld frames sent, %lld shown (lost %lld); CPU of a core: program %.2f %% "
                            "(GUI thread %.2f %%, serial and other threads %.2f %%; the simulated detector's thread "
                            "%.2f %% apart), %.1f redraws a second\n",
                            paced, zoomed ? "zoomed" : "full", static_cast<long long>(live.FramesSent() - sent0), shown,
                            static_cast<long long>(live.FramesSent() - sent0) - shown, 100.0 * (cpu - sim) / elapsed,
                            100.0 * gui / elapsed, 100.0 * (cpu - sim - gui) / elapsed, 100.0 * sim / elapsed,
                            replots / elapsed);
                live.Stop();
            }
            fullView();
        }
        std::printf("peak RSS            %ld kB\n\n", StatusKb("VmHWM:"));
        std::fflush(stdout);
    }

    getloadavg(load, 3);
    const double clear = MedianMs(1, [&] {
        w.btn_ClearClick();
        chart.Replot();
        QApplication::processEvents();
    });
    std::printf("\"Graph l\xC3\xB6schen\"    %.1f ms with the redraw\n", clear);
    std::printf("load at end         %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    std::filesystem::remove_all(dir);
    return 0;
}

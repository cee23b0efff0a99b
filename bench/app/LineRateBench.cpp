// The program at a detector's full line rate: the simulated detector sends
// continuously through a pseudo-terminal into the real window (offscreen).
// Reports frames lost (day-file lines against frames sent), the GUI
// thread's CPU share, how often the chart was redrawn, and memory growth.
//
//   bench_linerate [SECONDS] [SPEEDUP]
// SECONDS of simulated time (default 600); SPEEDUP sends that many times
// faster than the line rate (default 1: real time).

#include "app/ui/ChartAdapter.h"
#include "app/Program.h"
#include "app/ui/TextLinesModel.h"
#include "app/UGlowKite.h"
#include "portcfg/UCom.h"
#include "serial/SerComm.h"
#include "sim/SimulatorPort.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <qcustomplot.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

using namespace glowkite;

namespace {

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
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

std::size_t CountLines(const std::filesystem::path &dir, const char *extension)
{
    std::size_t n = 0;
    for (const auto &e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == extension) {
            std::ifstream in(e.path(), std::ios::binary);
            n += static_cast<std::size_t>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
        }
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    const double speedup = argc > 2 ? std::atof(argv[2]) : 1.0;
    QApplication app(argc, argv);

    char pattern[] = "/tmp/glowkite-linerate-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    ProgramPaths paths;
    paths.IniFile = (dir / "glowkite.INI").string();
    paths.LogDir = (dir / "LOG").string() + "/";
    TProgram program(paths);
    TForm_GlowKite &w = *program.Form_GlowKite;
    w.show();

    TSimOptions o;
    o.statusRun = true;
    o.framesPerStatus = 700; // a change about every 5 s
    o.aqRamp = true;
    o.positionRamp = true;
    o.contamination = -1;
    const double fps = FullLineRateFps * speedup;
    const auto frames = static_cast<std::int64_t>(seconds * FullLineRateFps);
    TSimulatorPort sim(o, fps);
    program.FComCfg->SerialComm().SetDeviceName(sim.OpenPty());
    w.act_StartExecute();

    int replots = 0;
    QObject::connect(qobject_cast<QCustomPlot *>(w.Chart().Widget()), &QCustomPlot::afterReplot, [&] { ++replots; });

    // Memory is measured from the first second on, after start-up.
    long rssStart = 0;
    std::int64_t framesAtStart = 0;
    QTimer::singleShot(1000, [&] {
        rssStart = StatusKb("VmRSS:");
        framesAtStart = w.mem_HEX().Lines().Count();
    });

    const double cpu0 = ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    sim.Start(frames);
    QTimer done;
    done.setInterval(100);
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (!sim.Running() && w.mem_HEX().Lines().Count() >= sim.FramesSent())
            app.quit();
        // Never wait forever for frames that were lost.
        if (!sim.Running() && wall.elapsed() > static_cast<qint64>((seconds / speedup + 10) * 1000))
            app.quit();
    });
    done.start();
    app.exec();
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    const double cpu = ThreadCpuSeconds() - cpu0;
    const long rssEnd = StatusKb("VmRSS:");
    const std::int64_t shown = w.mem_HEX().Lines().Count();
    w.act_StoppExecute();

    const std::size_t stored = CountLines(dir / "LOG", ".glow");
    std::printf("simulated time      %.0f s (%lld frames at %.2f frames/s, sent in %.1f s)\n", seconds,
                static_cast<long long>(sim.FramesSent()), fps, elapsed);
    std::printf("day-file lines      %zu  (lost: %lld)\n", stored,
                static_cast<long long>(sim.FramesSent()) - static_cast<long long>(stored));
    std::printf("frames shown        %lld\n", static_cast<long long>(shown));
    std::printf("status changes      %zu\n", CountLines(dir / "LOG", ".log"));
    std::printf("GUI thread CPU      %.2f s = %.2f %% of the wall time\n", cpu, 100.0 * cpu / elapsed);
    std::printf("chart redraws       %d (%.1f per second; frames per redraw %.1f)\n", replots,
                replots / elapsed, static_cast<double>(shown) / std::max(1, replots));
    std::printf("memory              RSS %ld kB -> %ld kB: %.0f bytes per frame\n", rssStart, rssEnd,
                1024.0 * static_cast<double>(rssEnd - rssStart) /
                    static_cast<double>(std::max<std::int64_t>(1, shown - framesAtStart)));
    std::printf("peak RSS            %ld kB\n", StatusKb("VmHWM:"));
    std::filesystem::remove_all(dir);
    return stored == static_cast<std::size_t>(sim.FramesSent()) ? 0 : 1;
}

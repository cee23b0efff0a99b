// The replay of a stored day at scale, through the same path as a double
// click on the calendar: an offscreen main window with its progress dialog,
// a day file of n lines in its LOG folder, the calendar's activation of that
// day. Timed until the panes and the chart are complete (the chart redrawn,
// the panes laid out). Each size runs in a process of its own, so that its
// peak memory is its own.
//
//   bench_replay [LINES...]        default: 100000 1000000
//
// Targets: 100,000 lines under 0.5 s; 1,000,000 lines under 2.5 s with a
// peak under 450 MB, the progress bar moving and the window repainting.
#include "DayFileGen.h"
#include "app/ui/ChartAdapter.h"
#include "app/Program.h"
#include "app/ui/TextLinesModel.h"
#include "app/UGlowKite.h"
#include "logging/UProgres.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace glowkite;

namespace {

// VmHWM (peak resident memory) or VmRSS of this process, in MB.
double StatusMB(const char *key)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0)
            return std::atof(line.c_str() + std::string(key).size()) / 1024.0;
    return -1;
}

// Counts what the user would see move during the replay.
struct TWatch : QObject {
    QWidget *window, *dialog;
    int paints = 0, dialogPaints = 0;
    TWatch(QWidget *w, QWidget *d) : window(w), dialog(d) {}
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && o->isWidgetType()) {
            QWidget *top = static_cast<QWidget *>(o)->window();
            paints += top == window;
            dialogPaints += top == dialog;
        }
        return false;
    }
};

int RunOne(long long lines, int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char pattern[] = "/tmp/gk-bench-replay-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    const std::filesystem::path dir = pattern;
    std::filesystem::create_directories(dir / "LOG");
    const std::string file = (dir / "LOG/glowkite_120305.glow").string();
    bench::WriteDayFile(file, lines);
    const double fileMB = static_cast<double>(std::filesystem::file_size(file)) / 1e6;

    QApplication app(argc, argv);
    ProgramPaths paths;
    paths.IniFile = (dir / "glowkite.INI").string();
    paths.LogDir = (dir / "LOG/").string();
    double seconds = 0, baseline = 0, peak = 0;
    int points = 0, hexLines = 0, paints = 0, dialogPaints = 0, barMoves = 0;
    char navigation[256] = "";
    {
        TProgram program(paths);
        TForm_GlowKite &w = *program.Form_GlowKite;
        w.resize(1280, 800);
        w.show();
        if (!QTest::qWaitForWindowExposed(&w))
            std::fprintf(stderr, "the window was not shown\n");
        QTest::qWait(50);
        const QDate day(2012, 3, 5);
        w.MonthCalendar().setSelectedDate(day);
        QApplication::processEvents();
        baseline = StatusMB("VmRSS:");

        TWatch watch(&w, program.Form_pgb.get());
        app.installEventFilter(&watch);
        QObject::connect(program.Form_pgb->pgb_Read, &QProgressBar::valueChanged, [&barMoves] { ++barMoves; });

        QElapsedTimer clock;
        clock.start();
        emit w.MonthCalendar().activated(day); // what a double click on the day sends
        w.Chart().Replot();
        QApplication::processEvents();
        seconds = clock.nsecsElapsed() / 1e9;
        peak = StatusMB("VmHWM:");
        app.removeEventFilter(&watch);

        points = w.Chart().Count(TSeries::AQ);
        hexLines = w.mem_HEX().Lines().Count();
        paints = watch.paints;
        dialogPaints = watch.dialogPaints;

        // Navigating the replayed day: the last status line double-clicked
        // (its label searched among all points), a key zoom, a scroll of the
        // full data pane to its end and a click there.
        auto timed = [](auto &&step) {
            QElapsedTimer t;
            t.start();
            step();
            QApplication::processEvents();
            return t.nsecsElapsed() / 1e6;
        };
        TTextPane &status = w.mem_Status();
        status.setCurrentIndex(status.model()->index(status.Lines().Count() - 1, 0));
        const double statusZoom = timed([&] {
            w.mem_StatusDblClick();
            w.Chart().Replot();
        });
        const double keyZoom = timed([&] {
            QTest::keyClick(&w, Qt::Key_F4);
            w.Chart().Replot();
        });
        TTextPane &hex = w.mem_HEX();
        const double paneEnd = timed([&] { hex.scrollToBottom(); });
        const QRect last = hex.visualRect(hex.model()->index(hex.Lines().Count() - 1, 0));
        const double paneClick = timed([&] { QTest::mouseDClick(hex.viewport(), Qt::LeftButton, {}, last.center()); });
        std::snprintf(navigation, sizeof navigation,
                      "%9s  status-line zoom %.1f ms, F4 zoom %.1f ms (both with the redraw), "
                      "data pane to its end %.1f ms, double click there %.1f ms (line %d)\n",
                      "", statusZoom, keyZoom, paneEnd, paneClick, hex.CurrentLine() + 1);
    }
    std::filesystem::remove_all(dir);
    std::printf("%9lld lines  %7.1f MB  replay %6.3f s  peak %6.0f MB (window before: %4.0f MB)  "
                "chart %d points, mem_HEX %d lines, bar moved %d times, %d window and %d dialog paints\n",
                lines, fileMB, seconds, peak, baseline, points, hexLines, barMoves, paints, dialogPaints);
    std::fputs(navigation, stdout);
    std::fflush(stdout); // the child ends with _exit
    return hexLines == lines ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<long long> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoll(argv[i]));
    if (sizes.empty())
        sizes = {100000, 1000000};
    int failed = 0;
    for (long long n : sizes) {
        std::fflush(stdout);
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(RunOne(n, 1, argv));
        int status = 0;
        ::waitpid(pid, &status, 0);
        failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    return failed == 0 ? 0 : 1;
}

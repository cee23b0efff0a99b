// The replay's own path at scale, without the window: a day file of n lines
// read and decoded by TDayReplay into a view that only counts the points
// (the chart's and the panes' own costs are measured by bench_replay) but
// takes the data pane's lines as the window does. Each size runs in a
// process of its own, so that its peak memory is its own.
//
//   bench_replay_core [LINES...]   default: 1000000 4000000 12300000
//
// Files are written to $TMPDIR (or /tmp) and removed afterwards.
#include "DayFileGen.h"
#include "app/core/DayReplay.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace glowkite;

namespace {

// CPU seconds of this process: on a loaded machine the wall clock says
// more about the neighbours than about the replay.
double CpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double StatusMB(const char *key)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0)
            return std::atof(line.c_str() + std::string(key).size()) / 1024.0;
    return -1;
}

struct TCountingView : IMeasurementView {
    std::array<int, SeriesCount> points{};
    int statusLines = 0;
    TLineStore hex;
    void AppendPoint(TSeries s, double, std::string_view, TColor) override { ++points[static_cast<int>(s)]; }
    void ClearSeries() override { points = {}; }
    int PointCount(TSeries s) const override { return points[static_cast<int>(s)]; }
    void SetSeriesVisible(TSeries, bool) override {}
    void UndoZoom() override {}
    void AppendStatusLine(std::string_view) override { ++statusLines; }
    void AppendHexLine(std::string_view) override {}
    void ClearPanes() override { hex.Clear(); }
    void ReplaceHexLines(TLineStore &&lines) override { hex = std::move(lines); }
    void SetCountText(std::string_view) override {}
};

struct TCountingEvents : TQuietReplayEvents {
    int progress = 0;
    void Progress(std::int64_t) override { ++progress; }
};

int RunOne(const std::string &file, long long lines)
{
    const double before = StatusMB("VmRSS:");
    TCountingView view;
    TMeasurementDecoder decoder(view, nullptr);
    TCountingEvents events;
    TDayReplay replay(decoder, events);
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    replay.LoadFromFile(file);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuStart;
    std::printf("%9lld lines  %7.1f MB  read and decoded in %6.3f s, %6.3f s CPU (%4.0f ns a line)  peak %6.0f MB "
                "(before %3.0f MB; data pane lines %6.0f MB)  %d points, %d status lines, %d progress steps\n",
                lines, static_cast<double>(std::filesystem::file_size(file)) / 1e6, seconds, cpu, cpu * 1e9 / lines,
                StatusMB("VmHWM:"), before, (view.hex.ByteSize() + 8.0 * view.hex.Count()) / 1e6,
                view.points[0], view.statusLines, events.progress);
    std::fflush(stdout);
    return static_cast<long long>(view.hex.Count()) == lines ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<long long> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoll(argv[i]));
    if (sizes.empty())
        sizes = {1000000, 4000000, 12300000};
    const char *tmp = std::getenv("TMPDIR");
    int failed = 0;
    for (long long n : sizes) {
        const std::string file = std::string(tmp ? tmp : "/tmp") + "/gk-bench-replay-" + std::to_string(::getpid()) +
                                 "_120305.glow";
        bench::WriteDayFile(file, n);
        std::fflush(stdout);
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(RunOne(file, n));
        int status = 0;
        ::waitpid(pid, &status, 0);
        failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        std::filesystem::remove(file);
    }
    return failed == 0 ? 0 : 1;
}

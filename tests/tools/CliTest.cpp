// glowkite-cli run as a separate process, as a user or a script runs it.
#include "app/core/DayReplay.h"
#include "app/core/Export.h"
#include "app/core/MemoryView.h"
#include "serial/SerTermios2.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <pty.h>
#include <unistd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace glowkite;
using glowkite::test::ReadFile;
using glowkite::test::TempDir;
using glowkite::test::WriteFile;

namespace {

struct CliRun {
    int exitCode;
    std::string out;
};

// Runs glowkite-cli with args (a shell word list); stderr joins stdout.
CliRun Cli(const std::string &args, const std::string &prefix = "")
{
    const std::string cmd = prefix + std::string(GLOWKITE_CLI) + " " + args + " 2>&1";
    FILE *p = ::popen(cmd.c_str(), "r");
    CliRun r{-1, {}};
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        r.out.append(buf, n);
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string StoredLine(int second, bool old, std::uint8_t aq, std::uint8_t flags, std::int16_t x)
{
    std::vector<std::uint8_t> f(25, 0);
    f[1] = 0xA1;
    f[2] = aq;
    f[3] = flags;
    const std::size_t s = old ? 0 : 1;
    f[5 + s] = 153;
    f[9 + s] = static_cast<std::uint8_t>(x & 0xFF);
    f[10 + s] = static_cast<std::uint8_t>(x >> 8);
    f[old ? 17 : 19] = 0xA1;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "05.03.2012 14:00:%02d", second);
    return RxLine(stamp, f);
}

} // namespace

TEST(CliExport, FramesAsCsvWithScaledValuesAndStatusWords)
{
    TempDir dir;
    const auto day = dir / "glowkite_120305.glow";
    WriteFile(day, StoredLine(1, true, 42, 0x03, 400) + "\r\n" + StoredLine(2, false, 200, 0x00, -115) + "\r\n");
    const CliRun r = Cli("export " + day + " --csv -o " + (dir / "out.csv"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(ReadFile(dir / "out.csv"),
              "Datum Zeit,Protokoll,AQ,Status,Statusworte,X Pos,Y Pos,Verschmutzung\r\n"
              "05.03.2012 14:00:01,glowkite,42,03,Alarm ;St\xC3\xB6rung ,5,0,2\r\n"
              "05.03.2012 14:00:02,glowkite +,200,00,Normal,-5,0,2\r\n");

    const CliRun excel = Cli("export " + day + " --csv --excel");
    ASSERT_EQ(excel.exitCode, 0);
    EXPECT_EQ(excel.out.substr(0, 3), "\xEF\xBB\xBF");
    // The status words hold the separator, so they are quoted.
    EXPECT_NE(excel.out.find("05.03.2012 14:00:01;glowkite;42;03;\"Alarm ;St\xC3\xB6rung \";5;0;2"), std::string::npos)
        << excel.out;
}

TEST(CliExport, BadLinesAreSkippedEveryGoodRowWrittenAndTheExitCodeSaysSo)
{
    TempDir dir;
    const auto day = dir / "glowkite_120305.glow";
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += StoredLine(i % 60, true, 1, 0, 0) + (i == 500 ? "\r\nnot a frame\r\n" : "\r\n");
    WriteFile(day, bytes + StoredLine(59, true, 1, 0, 0).substr(0, 30)); // and a torn last line
    const CliRun r = Cli("export " + day + " --csv -o " + (dir / "o.csv"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("1000 rows"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 lines of " + day + " cannot be exported and were skipped; the first is line 502"),
              std::string::npos)
        << r.out;
    const std::string csv = ReadFile(dir / "o.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1001) << "the header and every good row";

    const CliRun points = Cli("export " + day + " --points -o " + (dir / "p.csv"));
    EXPECT_EQ(points.exitCode, 1);
    EXPECT_NE(points.out.find("cannot be replayed and were skipped"), std::string::npos) << points.out;

    const CliRun missing = Cli("export " + (dir / "none.glow") + " --points");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("existiert nicht"), std::string::npos) << missing.out;
}

TEST(CliExport, AFifoNamedLikeADayFileIsRefusedAtOnce)
{
    TempDir dir;
    const auto day = dir / "glowkite_120305.glow";
    ASSERT_EQ(::mkfifo(day.c_str(), 0600), 0);
    for (const char *how : {"--csv", "--points"}) {
        // timeout: a hanging export ends the test instead of the suite.
        const CliRun r = Cli("export " + day + " " + how + " -o " + (dir / "o.csv"), "timeout 10 ");
        EXPECT_EQ(r.exitCode, 1) << how << ": " << r.out;
        EXPECT_NE(r.out.find(day + " is not a regular file"), std::string::npos) << r.out;
    }
}

TEST(CliExport, PointsAsTheChartPlotsThemWithHoldPoints)
{
    TempDir dir;
    const auto day = dir / "glowkite_120305.glow";
    std::string bytes;
    for (int s = 0; s < 10; ++s)
        bytes += StoredLine(s, false, s < 5 ? 20 : 21, 0, 0) + "\r\n";
    WriteFile(day, bytes);
    const CliRun r = Cli("export " + day + " --points --changes-only -o " + (dir / "p.csv"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::string csv = ReadFile(dir / "p.csv");
    // First point, hold point (label of the 5th line), the change.
    EXPECT_NE(csv.find("AQ,0,20,05.03.2012 14:00:00,#0000FF\r\n"
                       "AQ,1,20,05.03.2012 14:00:04,#0000FF\r\n"
                       "AQ,2,21,05.03.2012 14:00:05,#0000FF\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("Verschmutzung,2,2,,#000000\r\n"), std::string::npos);

    // The same as a replay into memory exported directly.
    TMemoryView view;
    TMeasurementDecoder dec(view, nullptr);
    dec.AllData2Chart = false;
    TQuietReplayEvents quiet;
    TDayReplay(dec, quiet).LoadFromFile(day);
    std::ostringstream direct;
    ExportPointsCsv(view, direct);
    EXPECT_EQ(direct.str(), csv);
}

TEST(Cli, BadCommandLinesAreRefusedWithUsage)
{
    EXPECT_EQ(Cli("").exitCode, 2);
    EXPECT_EQ(Cli("frobnicate").exitCode, 2);
    const CliRun fps = Cli("simulate --pty --fps 1000");
    EXPECT_EQ(fps.exitCode, 2);
    EXPECT_NE(fps.out.find("--fps takes a number from 0.01 to 143"), std::string::npos) << fps.out;
    EXPECT_EQ(Cli("export x.glow").exitCode, 2);
    EXPECT_EQ(Cli("export x.glow --csv --bogus").exitCode, 2);
    EXPECT_EQ(Cli("--help").exitCode, 0);
}

TEST(CliSimulate, SendsTheAskedFramesToAPty)
{
    FILE *p = ::popen((std::string(GLOWKITE_CLI) + " simulate --pty --fps 143 --frames 50 --seed 9").c_str(), "r");
    char path[256] = {};
    ASSERT_TRUE(std::fgets(path, sizeof path, p));
    std::string dev(path);
    dev.erase(dev.find_last_not_of('\n') + 1);
    FILE *in = std::fopen(dev.c_str(), "rb");
    ASSERT_TRUE(in) << dev;
    std::string bytes;
    for (int c; (c = std::fgetc(in)) != EOF;) // ends with EIO when the simulator hangs up
        bytes += static_cast<char>(c);
    std::fclose(in);
    EXPECT_EQ(::pclose(p), 0);
    EXPECT_EQ(bytes.size(), 50u * 25u);
}

namespace {
std::string Frames(int n)
{
    std::string bytes;
    for (int i = 0; i < n; ++i) {
        std::vector<std::uint8_t> f(25, 0);
        f[1] = 0xA1;
        f[2] = static_cast<std::uint8_t>(i % 100);
        f[3] = static_cast<std::uint8_t>(i / 50 % 2); // a status change every 50 frames
        f[19] = 0xA1;
        bytes.append(f.begin(), f.end());
    }
    return bytes;
}

std::size_t CountLines(const std::string &s)
{
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}
} // namespace

TEST(CliRecord, RecordsEveryFrameAndEndsCleanlyOnSigterm)
{
    TempDir dir;
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    const std::string log = (dir / "LOG") + "/";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(GLOWKITE_CLI, GLOWKITE_CLI, "record", "--port", name, "--log-dir", log.c_str(),
                static_cast<char *>(nullptr));
        ::_exit(127);
    }
    // Wait until the recorder holds the port (it raises DTR; a pty has none,
    // so wait for the LOG folder's first file instead, after a first frame).
    const std::string bytes = Frames(300);
    ASSERT_EQ(::write(master, bytes.data(), 25), 25);
    for (int i = 0; i < 500 && !std::filesystem::exists(dir / "LOG"); ++i)
        ::usleep(10000);
    ASSERT_EQ(::write(master, bytes.data() + 25, bytes.size() - 25), static_cast<ssize_t>(bytes.size() - 25));
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::string day, statusLog;
    for (const auto &e : std::filesystem::directory_iterator(dir / "LOG"))
        (e.path().extension() == ".glow" ? day : statusLog) = ReadFile(e.path());
    EXPECT_EQ(CountLines(day), 300u);
    EXPECT_EQ(day.size(), 300u * 102u);
    EXPECT_EQ(CountLines(statusLog), 6u); // Normal, Alarm, Normal, ...
    EXPECT_NE(statusLog.find("  01   Alarm \r\n"), std::string::npos);
    ::close(master);
}

TEST(CliRecord, ABadPortGivesTheComponentsMessage)
{
    TempDir dir;
    const CliRun r = Cli("record --port " + (dir / "nothing") + " --log-dir " + dir.path().string());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("Specified device not found (" + (dir / "nothing") + ")."), std::string::npos)
        << r.out;
}

TEST(CliSimulate, WritesToADeviceAtTheDetectorsLineRate)
{
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    const CliRun r = Cli(std::string("simulate --port ") + name + " --frames 20 --fps 143");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    std::string bytes(4096, '\0');
    const ssize_t n = ::read(master, bytes.data(), bytes.size());
    EXPECT_EQ(n, 20 * 25);
    TSerTermios2 t;
    ASSERT_EQ(GetTermios2(slave, t), 0);
    const TSerLineState line = DescribeTermios2(t);
    EXPECT_EQ(line.Baudrate, 35710u);
    EXPECT_EQ(line.Databits, 8);
    EXPECT_EQ(line.Parity, 'N');
    EXPECT_TRUE(line.Raw);
    ::close(master);
    ::close(slave);
}

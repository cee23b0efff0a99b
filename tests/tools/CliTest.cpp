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
#include <vector>
#include <filesystem>
#include <pty.h>
#include <unistd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

#include <ctime>

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
    const CliRun help = Cli("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("record writes into /"), std::string::npos) << help.out;
    // An empty port was taken as "no port" (or, with --pty, ignored).
    for (const char *args : {"record --port ''", "simulate --pty --port=", "record --port /dev/null --log-dir ''"}) {
        const CliRun empty = Cli(args);
        EXPECT_EQ(empty.exitCode, 2) << args;
        EXPECT_NE(empty.out.find("needs a value, not an empty text"), std::string::npos) << args << ": " << empty.out;
    }
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

namespace {

struct RecordRun {
    int exitCode = -1;
    std::string err;
};

// Runs `glowkite-cli record` from a fresh pty through bash (shellSetup goes
// first, e.g. a ulimit), sends `bytes` once it records, ends it with SIGTERM.
RecordRun RecordThroughShell(const TempDir &dir, const std::string &logDir, const std::string &bytes,
                             const std::string &shellSetup = "")
{
    int master = -1, slave = -1;
    char name[256];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return {};
    ::close(slave);
    const std::string errFile = dir / "stderr.txt";
    std::filesystem::remove(errFile); // of an earlier run
    const std::string cmd = shellSetup + " exec " + GLOWKITE_CLI + " record --port " + name + " --log-dir '" + logDir +
                            "' 2>'" + errFile + "'";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/bash", "bash", "-c", cmd.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 1000 && ReadFile(errFile).find("Recording from") == std::string::npos; ++i)
        ::usleep(10000);
    RecordRun run;
    if (::write(master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())) {
        ::usleep(200000);
        ::kill(pid, SIGTERM);
    } else {
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    run.err = ReadFile(errFile);
    return run;
}

std::string Today(const char *format)
{
    const std::time_t t = std::time(nullptr);
    char text[16];
    std::strftime(text, sizeof text, format, std::localtime(&t));
    return text;
}

std::size_t Occurrences(const std::string &s, const std::string &what)
{
    std::size_t n = 0;
    for (std::size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1))
        ++n;
    return n;
}

} // namespace

TEST(CliRecord, AFrameThatIsNotStoredIsNeverReportedAsRecorded)
{
    // A day file that is a link (planted by someone who may write the LOG
    // folder): nothing is written through it, it is told once, and the
    // summary and the exit code say that nothing was stored.
    TempDir dir;
    const std::string log = (dir / "LOG") + "/";
    std::filesystem::create_directory(log);
    const std::string target = dir / "someone-elses.txt";
    WriteFile(target, "theirs\n");
    const std::string day = log + "glowkite_" + Today("%y%m%d") + ".glow";
    std::filesystem::create_symlink(target, day);
    const RecordRun r = RecordThroughShell(dir, log, Frames(40));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(ReadFile(target), "theirs\n");
    EXPECT_EQ(Occurrences(r.err, "Cannot open " + day + ": it is a symbolic link"), 1u) << r.err;
    EXPECT_NE(r.err.find("Received 40 frames, stored 0,"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Recorded"), std::string::npos) << r.err;

    // A LOG folder that cannot be made: the same.
    const RecordRun none = RecordThroughShell(dir, dir / "no/such/LOG", Frames(10));
    EXPECT_EQ(none.exitCode, 1) << none.err;
    EXPECT_NE(none.err.find("Received 10 frames, stored 0,"), std::string::npos) << none.err;
}

TEST(CliRecord, AStatusLogThatCannotBeWrittenCostsNoFrame)
{
    TempDir dir;
    const std::string log = (dir / "LOG") + "/";
    std::filesystem::create_directory(log);
    const std::string statusLog = log + "glowKite_" + Today("%y%m") + ".log";
    ASSERT_EQ(::mkfifo(statusLog.c_str(), 0600), 0);
    const RecordRun r = RecordThroughShell(dir, log, Frames(120)); // 3 status changes
    std::string day;
    for (const auto &e : std::filesystem::directory_iterator(log))
        if (e.path().extension() == ".glow")
            day = ReadFile(e.path());
    EXPECT_EQ(CountLines(day), 120u) << "every frame is in the day file";
    EXPECT_EQ(Occurrences(r.err, "The status log " + statusLog + " cannot be written"), 1u) << r.err;
    EXPECT_NE(r.err.find("it is a FIFO"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("could not be stored"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Received 120 frames, stored 120,"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("(3 not in the status log)"), std::string::npos) << r.err;
    EXPECT_EQ(r.exitCode, 1) << "status lines were lost";
}

TEST(CliRecord, AFileSizeLimitLeavesWholeLinesAndIsCounted)
{
    // ulimit -f 2: 2048 bytes, 20 whole lines of 102 bytes and 8 bytes of a
    // 21st, which must be taken back. SIGXFSZ is ignored, so the writes fail
    // with EFBIG as on a full disk.
    TempDir dir;
    const std::string log = (dir / "LOG") + "/";
    const RecordRun r = RecordThroughShell(dir, log, Frames(50), "ulimit -f 2; trap '' XFSZ;");
    std::string day;
    for (const auto &e : std::filesystem::directory_iterator(log))
        if (e.path().extension() == ".glow")
            day = ReadFile(e.path());
    EXPECT_EQ(day.size(), 20u * 102u) << "whole lines only";
    EXPECT_EQ(CountLines(day), 20u);
    EXPECT_EQ(Occurrences(r.err, "File too large"), 1u) << r.err;
    EXPECT_NE(r.err.find("Received 50 frames, stored 20,"), std::string::npos) << r.err;
    EXPECT_EQ(r.exitCode, 1) << r.err;
}

namespace {
// glowkite-cli record from a fresh pty with this settings file; stderr into a file.
struct Recorder {
    TempDir dir;
    int master = -1;
    pid_t pid = -1;

    explicit Recorder(const std::string &ini, const std::vector<std::string> &extra = {})
    {
        int slave = -1;
        char name[256];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        ::close(slave);
        WriteFile(dir / "glowkite.INI", ini);
        std::vector<std::string> args = {GLOWKITE_CLI, "record", "--port", name, "--ini", dir / "glowkite.INI",
                                         "--log-dir", (dir / "LOG") + "/"};
        args.insert(args.end(), extra.begin(), extra.end());
        const std::string err = dir / "stderr";
        pid = ::fork();
        if (pid == 0) {
            std::freopen(err.c_str(), "w", stderr);
            std::vector<char *> argv;
            for (std::string &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(GLOWKITE_CLI, argv.data());
            ::_exit(127);
        }
    }
    ~Recorder()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ::close(master);
    }
    std::string Err() const { return ReadFile(dir / "stderr"); }
    bool WaitForErr(const std::string &text, int ms)
    {
        for (int i = 0; i < ms / 10; ++i, ::usleep(10000))
            if (Err().find(text) != std::string::npos)
                return true;
        return false;
    }
    void Send(const std::string &bytes) { ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    // The wait status once it has ended by itself or on the signal.
    int Wait(int signal = 0, int ms = 10000)
    {
        if (signal)
            ::kill(pid, signal);
        int status = -1;
        for (int i = 0; i < ms / 10 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
            ::usleep(10000);
        pid = -1;
        return status;
    }
};
} // namespace

TEST(CliRecord, EverySilenceIsToldAtItsStartAndEndAndCountedInTheSummary)
{
    Recorder r("[Parameter]\r\nDatenTimeout=1\r\n");
    ASSERT_TRUE(r.WaitForErr("Recording from", 5000)) << r.Err();
    r.Send(Frames(10));
    ASSERT_TRUE(r.WaitForErr("keine Daten seit 1 s", 4000)) << r.Err();
    r.Send(Frames(10));
    ASSERT_TRUE(r.WaitForErr("Daten wieder empfangen nach ", 2000)) << r.Err();
    for (int i = 0; i < 400; ++i, ::usleep(10000)) { // the second silence
        const std::string err = r.Err();
        if (err.find("keine Daten seit 1 s", err.find("Daten wieder empfangen")) != std::string::npos)
            break;
    }
    const int status = r.Wait(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string err = r.Err();
    // Two silences: after the first ten frames, and after the second ten up to the end.
    std::size_t n = 0;
    for (std::size_t p = 0; (p = err.find("  keine Daten seit 1 s\n", p)) != std::string::npos; ++p)
        ++n;
    EXPECT_EQ(n, 2u) << err;
    EXPECT_NE(err.find("Received 20 frames, stored 20,"), std::string::npos) << err;
    EXPECT_NE(err.find("; 2 silences ("), std::string::npos) << err;
    EXPECT_NE(err.find("0 bytes dropped, no line errors"), std::string::npos) << err;
}

TEST(CliRecord, FailAfterSilenceEndsWithANonZeroExitCode)
{
    Recorder r("", {"--fail-after-silence", "1"});
    ASSERT_TRUE(r.WaitForErr("Recording from", 5000)) << r.Err();
    r.Send(Frames(5));
    const int status = r.Wait(0, 8000);
    ASSERT_TRUE(WIFEXITED(status)) << status << r.Err();
    EXPECT_EQ(WEXITSTATUS(status), 3) << r.Err();
    EXPECT_NE(r.Err().find("No data for 1 s: giving up"), std::string::npos) << r.Err();
    EXPECT_NE(r.Err().find("Received 5 frames, stored 5,"), std::string::npos) << r.Err();

    // Frames that keep coming keep it running.
    Recorder busy("", {"--fail-after-silence", "1", "--duration", "2.5"});
    ASSERT_TRUE(busy.WaitForErr("Recording from", 5000));
    for (int i = 0; i < 12; ++i, ::usleep(200000))
        busy.Send(Frames(2));
    const int done = busy.Wait(0, 5000);
    EXPECT_TRUE(WIFEXITED(done) && WEXITSTATUS(done) == 0) << done << busy.Err();
}

// The program as a process, ended from outside: SIGTERM, SIGINT and SIGHUP
// end it as "Beenden" does (the settings written, every frame received on
// disk); a file-size limit does not kill it.
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using glowkite::test::ReadFile;
using glowkite::test::TempDir;

namespace {

std::string Frames(int n)
{
    std::string bytes;
    for (int i = 0; i < n; ++i) {
        std::string f(25, '\0');
        f[1] = '\xA1';
        f[2] = static_cast<char>(1 + i % 100);
        f[19] = '\xA1';
        bytes += f;
    }
    return bytes;
}

std::size_t Lines(const std::string &s)
{
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

struct Program {
    TempDir dir;
    int master = -1;
    pid_t pid = -1;

    // The window program, offscreen, recording from a fresh pty; fileLimit:
    // RLIMIT_FSIZE in bytes (0: none).
    explicit Program(const char *exe, bool cli, rlim_t fileLimit = 0)
    {
        int slave = -1;
        char name[256];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        ::close(slave);
        const std::string ini = dir / "glowkite.INI", log = (dir / "LOG") + "/", runtime = dir / "run",
                          err = dir / "stderr";
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        pid = ::fork();
        if (pid == 0) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            if (fileLimit) {
                const rlimit limit{fileLimit, fileLimit};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            std::freopen(err.c_str(), "w", stderr);
            if (cli)
                ::execl(exe, exe, "record", "--port", name, "--ini", ini.c_str(), "--log-dir", log.c_str(),
                        static_cast<char *>(nullptr));
            else
                ::execl(exe, exe, "--ini", ini.c_str(), "--log-dir", log.c_str(), "--port", name,
                        static_cast<char *>(nullptr));
            ::_exit(127);
        }
    }
    ~Program()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (master >= 0)
            ::close(master);
    }
    std::string File(const char *extension) const
    {
        if (std::filesystem::exists(dir / "LOG"))
            for (const auto &e : std::filesystem::directory_iterator(dir / "LOG"))
                if (e.path().extension() == extension)
                    return ReadFile(e.path());
        return {};
    }
    // Sends frames once the program holds the port (its first frame makes
    // the day file).
    bool Send(const std::string &bytes)
    {
        if (::write(master, bytes.data(), 25) != 25)
            return false;
        for (int i = 0; i < 1000 && File(".glow").empty(); ++i)
            ::usleep(10000);
        const auto rest = static_cast<ssize_t>(bytes.size() - 25);
        return !File(".glow").empty() && ::write(master, bytes.data() + 25, static_cast<std::size_t>(rest)) == rest;
    }
    // Ends it with the signal; the wait status.
    int End(int signal)
    {
        ::usleep(100000); // the last bytes leave the pty's buffer for the port
        ::kill(pid, signal);
        int status = 0;
        for (int i = 0; i < 1000 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
            ::usleep(10000);
        pid = -1;
        return status;
    }
};

} // namespace

TEST(StopSignals, TheWindowEndsAsBeendenDoesOnSigtermSigintAndSighup)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        Program p(GLOWKITE_PROGRAM, false);
        ASSERT_GT(p.pid, 0);
        ASSERT_TRUE(p.Send(Frames(200)));
        const int status = p.End(signal);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << strsignal(signal) << ": status " << status << "\n" << ReadFile(p.dir / "stderr");
        const std::string ini = ReadFile(p.dir / "glowkite.INI");
        EXPECT_NE(ini.find("[Window]\r\n"), std::string::npos) << strsignal(signal) << ": settings not written";
        EXPECT_NE(ini.find("Main.With="), std::string::npos) << strsignal(signal);
        EXPECT_EQ(Lines(p.File(".glow")), 200u) << strsignal(signal);
    }
}

TEST(StopSignals, TheCliEndsWithItsSummaryOnSighup)
{
    Program p(GLOWKITE_CLI, true);
    ASSERT_GT(p.pid, 0);
    ASSERT_TRUE(p.Send(Frames(120)));
    const int status = p.End(SIGHUP);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string err = ReadFile(p.dir / "stderr");
    EXPECT_NE(err.find("Received 120 frames, stored 120,"), std::string::npos) << err;
    EXPECT_EQ(Lines(p.File(".glow")), 120u);
}

TEST(StopSignals, AFileSizeLimitDoesNotKillTheWindowOrTheCli)
{
    // 40 lines of 102 bytes fit; the 41st write fails with EFBIG instead
    // of SIGXFSZ ending the process.
    for (const bool cli : {false, true}) {
        Program p(cli ? GLOWKITE_CLI : GLOWKITE_PROGRAM, cli, 40 * 102);
        ASSERT_GT(p.pid, 0);
        ASSERT_TRUE(p.Send(Frames(60)));
        const int status = p.End(SIGTERM);
        EXPECT_FALSE(WIFSIGNALED(status)) << (cli ? "cli" : "window") << " killed by " << strsignal(WTERMSIG(status));
        EXPECT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(Lines(p.File(".glow")), 40u);
        if (cli) {
            EXPECT_NE(ReadFile(p.dir / "stderr").find("Received 60 frames, stored 40,"), std::string::npos)
                << "the 20 frames past the limit are not stored";
        }
    }
}

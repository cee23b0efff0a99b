// Real second processes writing one day file: they differ in environment and
// working directory, as the window and a recorder started by cron or a
// service do.
#include "logging/LogLockPosix.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace glowkite {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// One run of the helper program, with its own working directory and
// environment (nullptr unsets a variable).
class Helper {
public:
    Helper(const std::vector<std::string> &args, const std::string &cwd,
           const std::map<std::string, const char *> &environment)
    {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::close(in[0]), ::close(in[1]), ::close(out[0]), ::close(out[1]);
            for (const auto &[name, value] : environment) {
                if (value)
                    ::setenv(name.c_str(), value, 1);
                else
                    ::unsetenv(name.c_str());
            }
            if (::chdir(cwd.c_str()) != 0)
                ::_exit(97);
            std::vector<char *> argv{const_cast<char *>(GK_LOG_APPENDER)};
            for (const std::string &a : args)
                argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(GK_LOG_APPENDER, argv.data());
            ::_exit(98);
        }
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~Helper()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
    }
    // The next line of its output.
    std::string ReadLine()
    {
        std::string line;
        char c;
        while (::read(stdout_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    void CloseInput()
    {
        if (stdin_ >= 0)
            ::close(stdin_);
        stdin_ = -1;
    }
    // Its exit code once it has ended.
    int Wait()
    {
        CloseInput();
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        ::close(stdout_);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1;
};

long SentOf(const std::string &line)
{
    long n = -1;
    if (line.rfind("sent ", 0) == 0)
        n = std::stol(line.substr(5));
    return n;
}

struct DiskCount {
    std::map<std::string, long> lines;  // per stream, each line whole and in order
    long torn = 0;                      // lines not of the exact form
    long duplicates = 0;
};

// Reads every day file of `base` in `dir` and checks each line.
DiskCount CountOnDisk(const std::string &dir, const std::string &base)
{
    DiskCount count;
    std::map<std::string, std::set<long>> seen;
    for (const auto &entry : fs::directory_iterator(dir)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind(base + "_", 0) != 0 || entry.path().extension() != ".glow")
            continue;
        const std::string content = test::ReadFile(entry.path().string());
        std::size_t pos = 0;
        while (pos < content.size()) {
            std::size_t end = content.find("\r\n", pos);
            std::string line = content.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            pos = end == std::string::npos ? content.size() : end + 2;
            std::istringstream fields(line);
            std::string stream;
            long seq = -1;
            fields >> stream >> seq;
            std::string expected = stream + " " + std::to_string(seq) + " ";
            expected.resize(100, stream.empty() ? '-' : stream[0]);
            if (end == std::string::npos || seq < 0 || line != expected) {
                ++count.torn;
                continue;
            }
            if (!seen[stream].insert(seq).second)
                ++count.duplicates;
            else
                ++count.lines[stream];
        }
    }
    return count;
}

class LogWritersTest : public ::testing::Test {
protected:
    LogWritersTest() : base_("gk-writers-" + std::to_string(::getpid()))
    {
        fs::create_directory(log_ / "LOG");
        fs::create_directory(cwdA_ / "a");
        fs::create_directory(cwdB_ / "b");
    }
    ~LogWritersTest() override
    {
        // The helpers' lock lives in the user's own lock folder: leave it tidy.
        std::error_code ignored;
        fs::remove(LockDirectory(::geteuid(), UserHome(::geteuid())) + "/" + LockFileName(base_), ignored);
    }

    // Two recorders at once, one with the runtime folder in its environment
    // and one without (cron, a service, "sudo -u"), in different working
    // folders. Returns the lines each was told to send and took.
    void RunTwo(long lines, const std::map<std::string, const char *> &envA,
                const std::map<std::string, const char *> &envB, long sent[2])
    {
        const std::string dir = log_ / "LOG";
        Helper a({"append", dir, base_, "A", std::to_string(lines)}, cwdA_ / "a", envA);
        Helper b({"append", dir, base_, "B", std::to_string(lines)}, cwdB_ / "b", envB);
        sent[0] = SentOf(a.ReadLine());
        sent[1] = SentOf(b.ReadLine());
        EXPECT_EQ(a.Wait(), 0);
        EXPECT_EQ(b.Wait(), 0);
    }

    std::string base_;
    TempDir log_, cwdA_, cwdB_, runtime_;
};

TEST_F(LogWritersTest, TwoRecordersInDifferentEnvironmentsStoreEveryLineOnceAndWhole)
{
    constexpr long kLines = 3000;
    long sent[2] = {};
    RunTwo(kLines, {{"XDG_RUNTIME_DIR", runtime_.path().c_str()}, {"GLOWKITE_LOCK_DIR", nullptr}},
           {{"XDG_RUNTIME_DIR", nullptr}, {"GLOWKITE_LOCK_DIR", nullptr}}, sent);

    const DiskCount disk = CountOnDisk(log_ / "LOG", base_);
    EXPECT_EQ(disk.torn, 0);
    EXPECT_EQ(disk.duplicates, 0);
    const long onDisk[2] = {disk.lines.count("A") ? disk.lines.at("A") : 0,
                            disk.lines.count("B") ? disk.lines.at("B") : 0};
    EXPECT_EQ(sent[0], kLines);
    EXPECT_EQ(sent[1], kLines);
    EXPECT_EQ(onDisk[0], sent[0]);
    EXPECT_EQ(onDisk[1], sent[1]);
    std::cout << "with and without XDG_RUNTIME_DIR: A sent " << sent[0] << ", on disk " << onDisk[0]
              << "; B sent " << sent[1] << ", on disk " << onDisk[1] << "; torn " << disk.torn << '\n';
    RecordProperty("A_sent", std::to_string(sent[0]));
    RecordProperty("A_on_disk", std::to_string(onDisk[0]));
    RecordProperty("B_sent", std::to_string(sent[1]));
    RecordProperty("B_on_disk", std::to_string(onDisk[1]));
}

TEST_F(LogWritersTest, WritersThatShareNoLockStillNeverOverwriteEachOther)
{
    // Each line is one append: even writers whose locks are apart (four lock
    // folders here, enough to race on two cores) lose nothing.
    constexpr long kLines = 10000;
    const std::string streams[] = {"A", "B", "C", "D"};
    std::vector<std::unique_ptr<TempDir>> locks;
    std::vector<std::string> lockDirs;
    for (std::size_t i = 0; i < std::size(streams); ++i) {
        locks.push_back(std::make_unique<TempDir>());
        lockDirs.push_back(*locks.back() / "locks");
    }
    std::vector<std::unique_ptr<Helper>> writers;
    for (std::size_t i = 0; i < std::size(streams); ++i)
        writers.push_back(std::make_unique<Helper>(
            std::vector<std::string>{"append", log_ / "LOG", base_, streams[i], std::to_string(kLines)},
            cwdA_ / "a", std::map<std::string, const char *>{{"GLOWKITE_LOCK_DIR", lockDirs[i].c_str()}}));
    for (auto &w : writers) {
        EXPECT_EQ(SentOf(w->ReadLine()), kLines);
        EXPECT_EQ(w->Wait(), 0);
    }
    const DiskCount disk = CountOnDisk(log_ / "LOG", base_);
    EXPECT_EQ(disk.torn, 0);
    EXPECT_EQ(disk.duplicates, 0);
    std::cout << "without a shared lock, on disk:";
    for (const std::string &stream : streams) {
        const long onDisk = disk.lines.count(stream) ? disk.lines.at(stream) : 0;
        EXPECT_EQ(onDisk, kLines) << stream;
        std::cout << ' ' << stream << ' ' << onDisk;
    }
    std::cout << " of " << kLines << " each\n";
}

TEST_F(LogWritersTest, TheLockIsMetWhateverTheEnvironment)
{
    try {
        ::close(OpenPrivateDirectory(LockDirectory(::geteuid(), UserHome(::geteuid()))));
    } catch (const ELogError &e) {
        GTEST_SKIP() << "this user has no lock folder of its own (" << e.what() << ")";
    }
    Helper holder({"hold", base_}, cwdA_ / "a",
                  {{"XDG_RUNTIME_DIR", runtime_.path().c_str()}, {"GLOWKITE_LOCK_DIR", nullptr}});
    ASSERT_EQ(holder.ReadLine(), "held");

    const std::string dir = log_ / "LOG";
    {
        Helper writer({"append", dir, base_, "B", "1", "200"}, cwdB_ / "b",
                      {{"XDG_RUNTIME_DIR", nullptr}, {"GLOWKITE_LOCK_DIR", nullptr}, {"HOME", "/nonexistent"}});
        EXPECT_EQ(SentOf(writer.ReadLine()), 0) << "written although another process held the lock";
        EXPECT_EQ(writer.Wait(), 1);
    }
    EXPECT_EQ(CountOnDisk(dir, base_).lines.size(), 0u);

    EXPECT_EQ(holder.Wait(), 0);
    Helper writer({"append", dir, base_, "B", "1", "200"}, cwdB_ / "b",
                  {{"XDG_RUNTIME_DIR", nullptr}, {"GLOWKITE_LOCK_DIR", nullptr}});
    EXPECT_EQ(SentOf(writer.ReadLine()), 1);
    EXPECT_EQ(writer.Wait(), 0);
    EXPECT_EQ(CountOnDisk(dir, base_).lines.at("B"), 1);
}

} // namespace
} // namespace glowkite

#include "logging/LOGFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace glowkite {
namespace {

using test::ReadFile;
using test::TempDir;
namespace fs = std::filesystem;

LocalTime At(int year, int month, int day, int hour = 14, int minute = 7, int second = 9,
             int ms = 123)
{
    return LocalTime{year, month, day, hour, minute, second, ms};
}

// A clock the test sets by hand.
struct ManualClock {
    std::shared_ptr<LocalTime> now = std::make_shared<LocalTime>(At(2012, 3, 5));
    Clock clock() const
    {
        auto shared = now;
        return [shared] { return *shared; };
    }
    void Set(const LocalTime &t) { *now = t; }
};

class LogFileTest : public ::testing::Test {
protected:
    LogFileTest() : oldCwd_(fs::current_path()) { fs::current_path(dir_.path()); }
    ~LogFileTest() override { fs::current_path(oldCwd_); }

    TLogFile Writer() const
    {
        TLogFile log(clock_.clock());
        log.LockTimeout = std::chrono::milliseconds(300);
        return log;
    }
    std::vector<std::string> FilesHere() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(dir_.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::RuntimeDirOverride runtimeDir_;
    TempDir dir_;
    ManualClock clock_;

private:
    fs::path oldCwd_;
};

// A second process holding the lock `name` until it is released or killed.
class LockHolder {
public:
    explicit LockHolder(const std::string &name)
    {
        int toChild[2], fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            char go = 0;
            try {
                NamedLock lock(name, std::chrono::milliseconds(0));
                (void)!::write(fromChild[1], "1", 1);
                (void)!::read(toChild[0], &go, 1);
            } catch (...) {
                (void)!::write(fromChild[1], "0", 1);
            }
            ::_exit(0);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        release_ = toChild[1];
        char ready = 0;
        (void)!::read(fromChild[0], &ready, 1);
        ::close(fromChild[0]);
        if (ready != '1')
            throw std::runtime_error("the second process did not get the lock");
    }
    ~LockHolder()
    {
        if (pid_ > 0)
            Kill();
    }
    void Release() { Finish(false); }
    void Kill() { Finish(true); }

private:
    void Finish(bool kill)
    {
        if (kill)
            ::kill(pid_, SIGKILL);
        else
            (void)!::write(release_, "x", 1);
        ::close(release_);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    pid_t pid_ = -1;
    int release_ = -1;
};

TEST_F(LogFileTest, DefaultWriterNamesFileByMonthInWorkingDirectory)
{
    TLogFile log = Writer();
    log.WriteLine("a", lsNone);
    EXPECT_EQ(FilesHere(), std::vector<std::string>{"MYLOG_1203.LOG"});
    EXPECT_EQ(log.Directory, "");

    log.SetPeriod(lpYear);
    log.WriteLine("b", lsNone);
    log.SetPeriod(lpDay);
    log.WriteLine("c", lsNone);
    log.SetPeriod(3);
    log.WriteLine("d", lsNone);
    log.SetPeriod(255);
    log.WriteLine("e", lsNone);
    EXPECT_EQ(FilesHere(), (std::vector<std::string>{"MYLOG.LOG", "MYLOG_12.LOG", "MYLOG_1203.LOG",
                                                     "MYLOG_120305.LOG"}));
    EXPECT_EQ(ReadFile("MYLOG.LOG"), "d\r\ne\r\n");
}

TEST_F(LogFileTest, ExtensionGetsLeadingDotStoredBack)
{
    const std::pair<const char *, const char *> cases[] = {
        {"log", ".log"}, {"", ""}, {".x", ".x"}, {"tar.gz", ".tar.gz"}};
    TLogFile log = Writer();
    for (const auto &[given, stored] : cases) {
        log.Extension = given;
        log.WriteLine("x", lsNone);
        EXPECT_EQ(log.Extension, stored);
        EXPECT_EQ(ReadFile(std::string("MYLOG_1203") + stored), "x\r\n") << given;
    }
}

TEST_F(LogFileTest, DirectoryIsCreatedOneLevelAndEndsWithSeparator)
{
    TLogFile log = Writer();
    log.Directory = dir_ / "LOG";
    log.BaseName = "glowkite";
    log.Extension = "glow";
    log.SetPeriod(lpDay);
    log.WriteLine("first", lsNone);
    log.WriteLine("second", lsNone);
    EXPECT_EQ(log.Directory, dir_ / "LOG/");
    EXPECT_EQ(ReadFile(dir_ / "LOG/glowkite_120305.glow"), "first\r\nsecond\r\n");

    // Removed while recording: the next line makes it again.
    std::filesystem::remove_all(dir_ / "LOG");
    log.WriteLine("third", lsNone);
    EXPECT_EQ(ReadFile(dir_ / "LOG/glowkite_120305.glow"), "third\r\n");
    // Another folder, and back.
    log.Directory = dir_ / "OTHER";
    log.WriteLine("fourth", lsNone);
    log.Directory = dir_ / "LOG";
    log.WriteLine("fifth", lsNone);
    EXPECT_EQ(ReadFile(dir_ / "OTHER/glowkite_120305.glow"), "fourth\r\n");
    EXPECT_EQ(ReadFile(dir_ / "LOG/glowkite_120305.glow"), "third\r\nfifth\r\n");
}

TEST_F(LogFileTest, DirectoryWithMissingParentIsNotCreated)
{
    TLogFile log = Writer();
    const std::string missing = dir_ / "no/LOG";
    log.Directory = missing;
    try {
        log.WriteLine("x", lsNone);
        FAIL() << "no error";
    } catch (const ELogError &e) {
        EXPECT_STREQ(e.what(), ("Cannot create " + missing).c_str());
    }
    EXPECT_FALSE(fs::exists(dir_ / "no"));
    EXPECT_EQ(log.Directory, missing);

    test::WriteFile(dir_ / "plain", "a file, not a folder");
    log.Directory = dir_ / "plain";
    EXPECT_THROW(log.WriteLine("x", lsNone), ELogError);
}

TEST_F(LogFileTest, FileNameTellsWhereALineGoesWithoutStoringBack)
{
    TLogFile log = Writer();
    log.Directory = "LOG";
    log.Extension = "glow";
    log.SetPeriod(lpDay);
    EXPECT_EQ(log.FileName(At(2011, 12, 31)), "LOG/MYLOG_111231.glow");
    EXPECT_EQ(log.Directory, "LOG");
    EXPECT_EQ(log.Extension, "glow");
    EXPECT_EQ(log.DateCode(), "120305");

    log.WriteLine("x", lsNone);
    EXPECT_TRUE(fs::exists(log.FileName(At(2012, 3, 5))));
}

TEST_F(LogFileTest, StampsFollowOptions)
{
    TLogFile log = Writer();
    log.SetPeriod(99);
    log.SetOptions(loDate | loTimeMs);
    log.WriteLine("ms", lsStamp);
    log.SetOptions(loDate | loTime);
    log.WriteLine("blank", lsBlank);
    log.WriteLine("s", lsStamp);
    log.SetOptions(loTime | loTimeMs);
    log.WriteLine("both", lsStamp);
    log.SetOptions(loTime);
    log.WriteLine("none", lsNone);
    log.SetOptions(0);
    log.WriteLine("empty", lsStamp);
    EXPECT_EQ(ReadFile("MYLOG.LOG"), "2012.03.05 14:07:09.123 ms\r\n"
                                     "                    blank\r\n"
                                     "2012.03.05 14:07:09 s\r\n"
                                     "14:07:09.123 both\r\n"
                                     "none\r\n"
                                     "empty\r\n");
}

TEST_F(LogFileTest, RawWritesTextAloneWhateverTheStamp)
{
    TLogFile log = Writer();
    log.SetPeriod(99);
    log.SetOptions(loRaw | loDate | loTimeMs);
    log.WriteLine("one", lsStamp);
    log.WriteLine("two", lsBlank);
    EXPECT_EQ(ReadFile("MYLOG.LOG"), "onetwo");
}

TEST_F(LogFileTest, BytesAreWrittenAsGivenWithoutBom)
{
    TLogFile log = Writer();
    log.SetPeriod(99);
    const std::string status = "05.03.2012 14:07:12  03   Alarm ;St\xF6rung ";
    const std::string withNul("a\0b", 3);
    log.WriteLine(status, lsNone);
    log.WriteLine(withNul, lsNone);
    EXPECT_EQ(ReadFile("MYLOG.LOG"), status + "\r\n" + withNul + "\r\n");
}

TEST_F(LogFileTest, ClockAtWriteTimeChoosesTheFile)
{
    const struct {
        std::uint8_t period;
        LocalTime before, after;
        const char *fileBefore, *fileAfter;
    } rollovers[] = {
        {lpDay, At(2011, 12, 31, 23, 59, 59, 999), At(2012, 1, 1, 0, 0, 0, 0), "day_111231.LOG",
         "day_120101.LOG"},
        {lpMonth, At(2012, 2, 29, 23, 59, 59, 999), At(2012, 3, 1, 0, 0, 0, 0), "month_1202.LOG",
         "month_1203.LOG"},
        {lpYear, At(1999, 12, 31, 23, 59, 59, 999), At(2000, 1, 1, 0, 0, 0, 0), "year_99.LOG",
         "year_00.LOG"},
    };
    for (const auto &r : rollovers) {
        TLogFile log = Writer();
        log.BaseName = std::string(r.fileBefore).substr(0, std::string(r.fileBefore).find('_'));
        log.SetPeriod(r.period);
        clock_.Set(r.before);
        log.WriteLine("23:59:59 late", lsNone);
        clock_.Set(r.after);
        // The caller's text still shows the old day; the clock decides.
        log.WriteLine("23:59:59 stamped before midnight", lsNone);
        EXPECT_EQ(ReadFile(r.fileBefore), "23:59:59 late\r\n");
        EXPECT_EQ(ReadFile(r.fileAfter), "23:59:59 stamped before midnight\r\n");
    }
}

TEST_F(LogFileTest, OutputLongerThan8192BytesIsWrittenWhole)
{
    TLogFile log = Writer();
    log.SetPeriod(99);
    std::string text(100000, 'q');
    text[8191] = 'A';
    text.back() = 'Z';
    log.WriteLine(text, lsNone);
    EXPECT_EQ(ReadFile("MYLOG.LOG"), text + "\r\n");
}

TEST_F(LogFileTest, ReadOnlyFileCannotBeOpenedAndLockIsFreedAgain)
{
    TLogFile log = Writer();
    log.Directory = dir_.path().string();
    test::WriteFile(dir_ / "MYLOG_1203.LOG", "kept\r\n");
    fs::permissions(dir_ / "MYLOG_1203.LOG", fs::perms::owner_read | fs::perms::group_read);
    {
        test::PermissionsEnforced enforced;
        try {
            log.WriteLine("x", lsNone);
            FAIL() << "no error";
        } catch (const ELogError &e) {
            EXPECT_STREQ(e.what(), ("Cannot open " + (dir_ / "MYLOG_1203.LOG")).c_str());
        }
    }
    EXPECT_EQ(ReadFile(dir_ / "MYLOG_1203.LOG"), "kept\r\n");
    EXPECT_NO_THROW(NamedLock("MYLOG", std::chrono::milliseconds(0)));
}

TEST_F(LogFileTest, NewFileInReadOnlyFolderGivesSystemErrorNamingTheFile)
{
    TLogFile log = Writer();
    log.Directory = dir_ / "locked";
    fs::create_directory(log.Directory);
    fs::permissions(log.Directory, fs::perms::owner_read | fs::perms::owner_exec);
    test::PermissionsEnforced enforced;
    try {
        log.WriteLine("x", lsNone);
        FAIL() << "no error";
    } catch (const ELogError &e) {
        const std::string message = e.what();
        EXPECT_NE(message.find(dir_ / "locked/MYLOG_1203.LOG"), std::string::npos) << message;
        EXPECT_NE(message.find(std::strerror(EACCES)), std::string::npos) << message;
    }
}

TEST_F(LogFileTest, LockHeldElsewhereRaisesClearErrorOnlyForThatName)
{
    TLogFile held = Writer();
    held.BaseName = "glowKite";
    TLogFile other = Writer();
    other.BaseName = "glowkite";

    LockHolder holder("glowKite");
    try {
        held.WriteLine("lost?", lsNone);
        FAIL() << "no error";
    } catch (const ELogError &e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("\"glowKite\""), std::string::npos) << message;
        EXPECT_NE(message.find("300 ms"), std::string::npos) << message;
    }
    EXPECT_FALSE(fs::exists("glowKite_1203.LOG"));
    // Within the same 300 ms limit: the other name is not held up.
    other.WriteLine("not delayed", lsNone);
    EXPECT_EQ(ReadFile("glowkite_1203.LOG"), "not delayed\r\n");

    holder.Release();
    held.WriteLine("after release", lsNone);
    EXPECT_EQ(ReadFile("glowKite_1203.LOG"), "after release\r\n");
}

TEST_F(LogFileTest, AfterALockTimeoutLinesFailAtOnceUntilTheLockIsFree)
{
    // A writer that waited in vain once does not wait again for every line
    // (at a detector's line rate that would stop reception).
    TLogFile held = Writer();
    held.BaseName = "glowkite";
    held.LockTimeout = std::chrono::milliseconds(3000);
    LockHolder holder("glowkite");
    std::string first;
    try {
        held.WriteLine("1", lsNone);
    } catch (const ELogError &e) {
        first = e.what();
    }
    ASSERT_FALSE(first.empty());
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        try {
            held.WriteLine("2", lsNone);
            FAIL() << "written while the lock is held";
        } catch (const ELogError &e) {
            EXPECT_EQ(e.what(), first); // the same message: reported once by the caller
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));

    holder.Release();
    held.WriteLine("3", lsNone);
    EXPECT_EQ(ReadFile("glowkite_1203.LOG"), "3\r\n");
}

TEST_F(LogFileTest, LockOfCrashedOwnerIsFreeAtOnce)
{
    LockHolder holder("MYLOG");
    holder.Kill();
    TLogFile log = Writer();
    log.WriteLine("after crash", lsNone);
    EXPECT_EQ(ReadFile("MYLOG_1203.LOG"), "after crash\r\n");
}

TEST_F(LogFileTest, ProcessesWritingAtOnceNeverMixTheirLines)
{
    constexpr int kLines = 1000;
    constexpr int kWriters = 2;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = ::fork();
        if (pid == 0) {
            int code = 0;
            try {
                TLogFile log = Writer();
                log.LockTimeout = std::chrono::milliseconds(5000);
                for (int i = 0; i < kLines; ++i) {
                    std::string line = "w" + std::to_string(w) + " " + std::to_string(i) + " ";
                    line.resize(100, static_cast<char>('a' + w));
                    log.WriteLine(line, lsNone);
                }
            } catch (...) {
                code = 1;
            }
            ::_exit(code);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    const std::string content = ReadFile("MYLOG_1203.LOG");
    ASSERT_EQ(content.size(), std::size_t{kWriters * kLines * 102});
    int next[kWriters] = {};
    for (std::size_t pos = 0; pos < content.size(); pos += 102) {
        std::string line = content.substr(pos, 102);
        ASSERT_EQ(line.substr(100), "\r\n") << "at byte " << pos;
        int w = -1, i = -1;
        std::istringstream(line.substr(1)) >> w >> i;
        ASSERT_TRUE(w >= 0 && w < kWriters) << line;
        EXPECT_EQ(i, next[w]++) << line;
        std::string expected = "w" + std::to_string(w) + " " + std::to_string(i) + " ";
        expected.resize(100, static_cast<char>('a' + w));
        EXPECT_EQ(line.substr(0, 100), expected);
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

TEST_F(LogFileTest, WriteCutShortLeavesNoPartialLine)
{
    const std::string first = "first line";
    int code = test::RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        TLogFile log = Writer();
        log.WriteLine(first, lsNone);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = fs::file_size("MYLOG_1203.LOG") + 40;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 3;
        try {
            log.WriteLine(std::string(1000, 'y'), lsNone);
            return 1;
        } catch (const ELogError &e) {
            const std::string message = e.what();
            return message.find("Cannot write MYLOG_1203.LOG: ") == 0 ? 0 : 2;
        }
    });
    ASSERT_EQ(code, 0);
    EXPECT_EQ(ReadFile("MYLOG_1203.LOG"), first + "\r\n");

    TLogFile log = Writer();
    log.WriteLine("next", lsNone);
    EXPECT_EQ(ReadFile("MYLOG_1203.LOG"), first + "\r\nnext\r\n");
}

// What a neighbour who may write the LOG folder can plant in place of a log
// file; none of it is written to, and each is named in the error.
TEST_F(LogFileTest, NothingButARegularFileIsWrittenAndTheErrorNamesIt)
{
    struct Kind {
        const char *base;
        const char *extension;
        std::uint8_t period;
        const char *file;
    };
    const Kind writers[] = {{"glowkite", "glow", lpDay, "glowkite_120305.glow"},
                              {"glowKite", "log", lpMonth, "glowKite_1203.log"}};
    const std::string victim = dir_ / "someone-elses.txt";
    test::WriteFile(victim, "theirs\n");
    for (const Kind &w : writers) {
        TLogFile log = Writer();
        log.Directory = dir_ / "LOG";
        log.BaseName = w.base;
        log.Extension = w.extension;
        log.SetPeriod(w.period);
        fs::create_directories(dir_ / "LOG");
        const std::string file = dir_ / (std::string("LOG/") + w.file);
        auto expectRefused = [&](const char *kind) {
            try {
                log.WriteLine("05.03.2012 14:07:09  RX: 00 A1", lsNone);
                ADD_FAILURE() << "written into " << kind;
            } catch (const ELogError &e) {
                EXPECT_EQ(std::string(e.what()),
                          "Cannot open " + file + ": it is " + kind + ", not a regular file");
            }
        };

        fs::create_symlink(victim, file);
        expectRefused("a symbolic link");
        EXPECT_EQ(test::ReadFile(victim), "theirs\n");
        fs::remove(file);
        fs::create_symlink(dir_ / "LOG/not-there", file);
        expectRefused("a symbolic link");
        EXPECT_FALSE(fs::exists(dir_ / "LOG/not-there"));
        fs::remove(file);

        // A FIFO with nobody reading would block the open for ever; with a
        // reader it would swallow the lines.
        ASSERT_EQ(::mkfifo(file.c_str(), 0666), 0);
        expectRefused("a FIFO");
        const int reader = ::open(file.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        expectRefused("a FIFO");
        char byte;
        EXPECT_LE(::read(reader, &byte, 1), 0) << "a line went into the FIFO";
        ::close(reader);
        fs::remove(file);

        fs::create_directory(file);
        expectRefused("a folder");
        fs::remove(file);

        if (::mknod(file.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) { // like /dev/null
            expectRefused("a device");
            fs::remove(file);
        } else {
            std::cout << "device case left out: mknod needs root (" << std::strerror(errno) << ")\n";
        }

        // The next line, once the folder is sound again, is stored.
        log.WriteLine("next", lsNone);
        EXPECT_EQ(ReadFile(file), "next\r\n");
    }
}

// A lock folder that is not private (another user's, open to all, a link):
// the lock is taken beside the log instead, said once, and lines are stored.
class LockRefusedTest : public LogFileTest {
protected:
    void WriteThreeLines(const std::string &lockDir)
    {
        ::setenv("GLOWKITE_LOCK_DIR", lockDir.c_str(), 1);
        TLogFile log = Writer();
        log.Directory = dir_ / "LOG";
        log.BaseName = "glowkite";
        log.Notice = [this](const std::string &text) { notices_.push_back(text); };
        for (const char *line : {"1", "2", "3"})
            log.WriteLine(line, lsNone);
        EXPECT_EQ(ReadFile(dir_ / "LOG/glowkite_1203.LOG"), "1\r\n2\r\n3\r\n");
        ASSERT_EQ(notices_.size(), 1u);
        EXPECT_NE(notices_[0].find(lockDir), std::string::npos) << notices_[0];
        EXPECT_NE(notices_[0].find("is taken in " + (dir_ / "LOG/glowkite.lock") + " instead"),
                  std::string::npos)
            << notices_[0];
        EXPECT_TRUE(fs::is_regular_file(dir_ / "LOG/glowkite.lock"));
    }
    std::vector<std::string> notices_;
};

TEST_F(LockRefusedTest, PlantedFolderIsRefusedAndTheLinesStoredAllTheSame)
{
    const std::string open = dir_ / "open";
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all);
    const std::string target = dir_ / "target";
    fs::create_directory(target);
    fs::permissions(target, fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directory_symlink(target, dir_ / "link");
    std::vector<std::string> planted{open, dir_ / "link"};
    if (::geteuid() == 0) {
        const std::string theirs = dir_ / "theirs";
        fs::create_directory(theirs);
        fs::permissions(theirs, fs::perms::owner_all, fs::perm_options::replace);
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0); // nobody's
        planted.push_back(theirs);
    } else {
        std::cout << "a folder of another user is left out: planting it needs root (chown)\n";
    }
    for (const std::string &lockDir : planted) {
        SCOPED_TRACE(lockDir);
        fs::remove_all(dir_ / "LOG");
        notices_.clear();
        WriteThreeLines(lockDir);
    }
    EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(LockRefusedTest, FolderOfAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "planting a folder of another user needs root (chown)";
    const std::string theirs = dir_ / "theirs";
    fs::create_directory(theirs);
    fs::permissions(theirs, fs::perms::owner_all, fs::perm_options::replace);
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0); // nobody's
    WriteThreeLines(theirs);
}

TEST_F(LockRefusedTest, WithNoLockAnywhereTheLinesAreStillStored)
{
    const std::string open = dir_ / "open";
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all);
    ::setenv("GLOWKITE_LOCK_DIR", open.c_str(), 1);
    fs::create_directory(dir_ / "LOG");
    ASSERT_EQ(::mkfifo((dir_ / "LOG/glowkite.lock").c_str(), 0666), 0);
    TLogFile log = Writer();
    log.Directory = dir_ / "LOG";
    log.BaseName = "glowkite";
    log.Notice = [this](const std::string &text) { notices_.push_back(text); };
    log.WriteLine("1", lsNone);
    log.WriteLine("2", lsNone);
    EXPECT_EQ(ReadFile(dir_ / "LOG/glowkite_1203.LOG"), "1\r\n2\r\n");
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_NE(notices_[0].find("written without it"), std::string::npos) << notices_[0];
}

TEST_F(LockRefusedTest, WritersRefusedAlikeStillMeetBesideTheLog)
{
    const std::string open = dir_ / "open";
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all);
    ::setenv("GLOWKITE_LOCK_DIR", open.c_str(), 1);
    fs::create_directory(dir_ / "LOG");
    const std::string lockFile = dir_ / "LOG/glowkite.lock";
    const int held = ::open(lockFile.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    int result = test::RunInChild([&] {
        ::close(held);
        TLogFile log = Writer();
        log.Directory = dir_ / "LOG";
        log.BaseName = "glowkite";
        log.Notice = [](const std::string &) {};
        try {
            log.WriteLine("x", lsNone);
            return 1;
        } catch (const ELogError &e) {
            return std::string(e.what()).find("was not free within 300 ms") != std::string::npos ? 0 : 2;
        }
    });
    ::close(held);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(dir_ / "LOG/glowkite_1203.LOG"));
}

} // namespace
} // namespace glowkite

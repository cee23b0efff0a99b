// The log writer's Windows side: the named mutex between real processes
// (this program started again as the other writer) and the file calls.
#include "logging/LOGFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <windows.h>

using namespace glowkite;
using namespace std::chrono_literals;

namespace {

// Another process that takes the lock `name`, signals the event `ready`,
// holds the lock for `holdMs`, then releases it, or with `abandon` ends
// without releasing it.
class OtherWriter {
public:
    OtherWriter(const std::string &name, int holdMs, bool abandon)
    {
        const std::string ready = name + "-ready";
        readyEvent_ = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string command = "\"" + std::string(self) + "\" --hold-lock " + name + " " + std::to_string(holdMs) +
                              (abandon ? " abandon" : " release");
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessA(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process_);
        if (started_)
            CloseHandle(process_.hThread);
    }
    ~OtherWriter()
    {
        if (started_) {
            WaitForSingleObject(process_.hProcess, 30000);
            CloseHandle(process_.hProcess);
        }
        CloseHandle(readyEvent_);
    }
    bool HasTheLock() const { return started_ && WaitForSingleObject(readyEvent_, 20000) == WAIT_OBJECT_0; }
    DWORD ExitCode() const
    {
        WaitForSingleObject(process_.hProcess, 30000);
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    HANDLE readyEvent_;
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

int HoldLock(const std::string &name, int holdMs, bool abandon)
{
    const std::string ready = name + "-ready";
    const HANDLE readyEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready.c_str());
    auto *lock = new NamedLock(name, 5000ms);
    SetEvent(readyEvent);
    Sleep(static_cast<DWORD>(holdMs));
    if (abandon)
        ExitProcess(7); // the lock is never given back
    delete lock;
    return 0;
}

std::string UniqueName(const char *what)
{
    return std::string("glowkite-test-") + what + "-" + std::to_string(GetCurrentProcessId());
}

TEST(LogLockWin32Test, HeldByAnotherProcessTimesOutOnlyForThatName)
{
    const std::string name = UniqueName("held");
    OtherWriter other(name, 2500, false);
    ASSERT_TRUE(other.HasTheLock());
    try {
        NamedLock lock(name, 300ms);
        FAIL() << "the lock of another process was taken";
    } catch (const ELogError &e) {
        EXPECT_NE(std::string(e.what()).find("was not free within 300 ms"), std::string::npos) << e.what();
    }
    // Names compare with case: another name is another lock.
    std::string otherCase = name;
    otherCase[0] = 'G';
    EXPECT_NO_THROW(NamedLock(otherCase, 100ms));
    EXPECT_NO_THROW(NamedLock(name + "-2", 100ms));
    // Once the other writer lets go, the lock is had within the wait.
    EXPECT_NO_THROW(NamedLock(name, 10000ms));
    EXPECT_EQ(other.ExitCode(), 0u);
}

TEST(LogLockWin32Test, LockOfAWriterThatDiedIsTakenOver)
{
    const std::string name = UniqueName("abandoned");
    {
        OtherWriter other(name, 0, true);
        ASSERT_TRUE(other.HasTheLock());
        EXPECT_EQ(other.ExitCode(), 7u);
    }
    EXPECT_NO_THROW(NamedLock(name, 1000ms));
    EXPECT_NO_THROW(NamedLock(name, 1000ms)) << "given back after the take-over";
}

TEST(LogFileWin32Test, LinesGoToTheFolderWithABackslashAndCrLf)
{
    test::TempDir dir;
    TLogFile log([] { return LocalTime{2012, 3, 5, 14, 7, 9, 123}; });
    log.Directory = (dir.path() / "LOG").string();
    log.BaseName = UniqueName("file");
    log.Extension = "log";
    log.WriteLine("St\xF6rung", lsNone);
    log.WriteLine("zwei", lsNone);
    EXPECT_EQ(log.Directory, (dir.path() / "LOG").string() + "\\");
    EXPECT_EQ(log.Extension, ".log");
    const std::string file = log.Directory + log.BaseName + "_1203.log";
    EXPECT_EQ(test::ReadFile(file), "St\xF6rung\r\nzwei\r\n");
}

TEST(LogFileWin32Test, ReadOnlyFileCannotBeOpenedAndLockIsFreeAfterwards)
{
    test::TempDir dir;
    TLogFile log([] { return LocalTime{2012, 3, 5, 14, 7, 9, 123}; });
    log.Directory = dir.path().string() + "\\";
    log.BaseName = UniqueName("readonly");
    log.SetPeriod(lpYear);
    const std::string file = log.Directory + log.BaseName + "_12.LOG";
    test::WriteFile(file, "old\r\n");
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
    const HANDLE probe = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "read-only files are writable here (Wine run as root keeps the attribute as Unix mode "
                        "bits, which root passes)";
    }
    try {
        log.WriteLine("new", lsNone);
        FAIL() << "wrote into a read-only file";
    } catch (const ELogError &e) {
        EXPECT_STREQ(e.what(), ("Cannot open " + file).c_str());
    }
    EXPECT_NO_THROW(NamedLock(log.BaseName, 100ms));
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(test::ReadFile(file), "old\r\n");
}

TEST(LogFileWin32Test, FolderThatCannotBeMadeIsReported)
{
    test::TempDir dir;
    TLogFile log;
    log.Directory = (dir.path() / "missing" / "LOG").string();
    try {
        log.WriteLine("x", lsNone);
        FAIL() << "a folder two levels deep was made";
    } catch (const ELogError &e) {
        EXPECT_STREQ(e.what(), ("Cannot create " + log.Directory).c_str());
    }
}

TEST(LogFileWin32Test, AFolderInPlaceOfTheFileIsNamed)
{
    test::TempDir dir;
    TLogFile log([] { return LocalTime{2012, 3, 5, 14, 7, 9, 123}; });
    log.Directory = dir.path().string() + "\\";
    log.BaseName = UniqueName("folder");
    log.SetPeriod(lpYear);
    const std::string file = log.Directory + log.BaseName + "_12.LOG";
    ASSERT_TRUE(CreateDirectoryA(file.c_str(), nullptr));
    try {
        log.WriteLine("x", lsNone);
        FAIL() << "no error";
    } catch (const ELogError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open " + file + ": it is a folder, not a regular file");
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--hold-lock") == 0)
        return HoldLock(argv[2], std::atoi(argv[3]), std::strcmp(argv[4], "abandon") == 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

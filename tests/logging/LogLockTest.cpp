#include "logging/LogLockPosix.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace glowkite {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

TEST(LockDirectoryTest, RuntimeFolderWhenAbsoluteElsePrivateTmpFolder)
{
    EXPECT_EQ(LockDirectory("/run/user/1000", 1000), "/run/user/1000/glowkite-locks");
    EXPECT_EQ(LockDirectory(nullptr, 1000), "/tmp/glowkite-locks-1000");
    EXPECT_EQ(LockDirectory("", 0), "/tmp/glowkite-locks-0");
    EXPECT_EQ(LockDirectory("relative/run", 7), "/tmp/glowkite-locks-7");
}

TEST(LockFileNameTest, DistinctNamesGetDistinctSafeFiles)
{
    EXPECT_EQ(LockFileName("glowkite"), "glowkite.lock");
    EXPECT_NE(LockFileName("glowKite"), LockFileName("glowkite"));
    EXPECT_NE(LockFileName("a/b"), LockFileName("a%2Fb"));
    EXPECT_NE(LockFileName(""), LockFileName("%"));
    EXPECT_EQ(LockFileName("../x").find('/'), std::string::npos);
    EXPECT_EQ(LockFileName(std::string_view("\xF6\0", 2)), "%F6%00.lock");

    std::string longA(300, '\xF6'), longB = longA;
    longB.back() = 'b';
    EXPECT_LE(LockFileName(longA).size(), 255u);
    EXPECT_NE(LockFileName(longA), LockFileName(longB));
}

TEST(PrivateDirectoryTest, CreatedClosedToOthers)
{
    test::TempDir base;
    const std::string dir = base / "locks";
    int fd = OpenPrivateDirectory(dir);
    ASSERT_GE(fd, 0);
    ::close(fd);
    struct stat st {};
    ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(PrivateDirectoryTest, RefusesOpenFolderSymlinkAndStranger)
{
    test::TempDir base;
    const std::string open = base / "open";
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all);
    EXPECT_THROW(OpenPrivateDirectory(open), ELogError);

    const std::string target = base / "target";
    fs::create_directory(target);
    fs::permissions(target, fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directory_symlink(target, base / "link");
    EXPECT_THROW(OpenPrivateDirectory(base / "link"), ELogError);

    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
        EXPECT_THROW(OpenPrivateDirectory(target), ELogError);
    }
}

TEST(NamedLockTest, HeldLockTimesOutOnlyForTheSameName)
{
    test::RuntimeDirOverride runtimeDir;
    {
        NamedLock held("glowKite", milliseconds(0));
        try {
            NamedLock second("glowKite", milliseconds(50));
            FAIL() << "taken twice";
        } catch (const ELogError &e) {
            EXPECT_NE(std::string(e.what()).find("\"glowKite\" was not free within 50 ms"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_NO_THROW(NamedLock("glowkite", milliseconds(0)));
    }
    EXPECT_NO_THROW(NamedLock("glowKite", milliseconds(0)));
}

TEST(NamedLockTest, FallsBackToPrivateTmpFolderWithoutRuntimeFolder)
{
    test::RuntimeDirOverride restoresEnvironment;
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string dir = LockDirectory(nullptr, ::geteuid());
    {
        NamedLock lock("gk-lock-test", milliseconds(0));
        struct stat st {};
        ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_EQ(st.st_uid, ::geteuid());
    }
    fs::remove(dir + "/" + LockFileName("gk-lock-test"));
}

} // namespace
} // namespace glowkite

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

TEST(LockDirectoryTest, TheUsersRuntimeFolderWhenItIsPrivateElseTheUsersHome)
{
    test::TempDir run;
    const uid_t me = ::geteuid();
    const std::string mine = run / std::to_string(me);
    const std::string home = "/home/ann";
    const std::string inHome = "/home/ann/.local/state/glowkite/locks";

    EXPECT_EQ(LockDirectory(me, home, run.path().string()), inHome) << "no runtime folder";
    fs::create_directory(mine);
    fs::permissions(mine, fs::perms::owner_all, fs::perm_options::replace);
    EXPECT_EQ(LockDirectory(me, home, run.path().string()), mine + "/glowkite-locks");
    EXPECT_EQ(LockDirectory(me + 1, home, run.path().string()), inHome) << "another user's id";

    fs::permissions(mine, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                    fs::perm_options::replace);
    EXPECT_EQ(LockDirectory(me, home, run.path().string()), inHome) << "open to the group";

    fs::remove(mine);
    const std::string elsewhere = run / "elsewhere";
    fs::create_directory(elsewhere);
    fs::permissions(elsewhere, fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directory_symlink(elsewhere, mine);
    EXPECT_EQ(LockDirectory(me, home, run.path().string()), inHome) << "a link";

    if (::geteuid() == 0) {
        fs::remove(mine);
        fs::create_directory(mine);
        fs::permissions(mine, fs::perms::owner_all, fs::perm_options::replace);
        ASSERT_EQ(::chown(mine.c_str(), 65534, 65534), 0);
        EXPECT_EQ(LockDirectory(me, home, run.path().string()), inHome) << "owned by nobody";
    }
}

TEST(LockDirectoryTest, FoundFromTheUserNotFromTheEnvironment)
{
    test::RuntimeDirOverride restoresEnvironment;
    ::unsetenv("GLOWKITE_LOCK_DIR");
    const std::string expected = LockDirectory(::geteuid(), UserHome(::geteuid()));
    ::setenv("XDG_RUNTIME_DIR", restoresEnvironment.path().c_str(), 1);
    const char *oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", "/nonexistent", 1);
    EXPECT_EQ(OwnLockDirectory(), expected);
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(OwnLockDirectory(), expected);
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    EXPECT_EQ(expected.find(restoresEnvironment.path().string()), std::string::npos);
    EXPECT_FALSE(UserHome(::geteuid()).empty());
    EXPECT_NE(UserHome(::geteuid()), "/nonexistent");

    // Only an absolute GLOWKITE_LOCK_DIR moves it (for isolated test runs).
    ::setenv("GLOWKITE_LOCK_DIR", "relative/locks", 1);
    EXPECT_EQ(OwnLockDirectory(), expected);
    ::setenv("GLOWKITE_LOCK_DIR", "/srv/locks", 1);
    EXPECT_EQ(OwnLockDirectory(), "/srv/locks");
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

TEST(NamedLockTest, AKeptPlaceExcludesEveryOtherHolderAndFollowsItsFile)
{
    test::RuntimeDirOverride runtimeDir;
    NamedLockPlace place, other;
    const auto taken = [](auto &&take) {
        try {
            take();
            return true;
        } catch (const ELogError &) {
            return false;
        }
    };
    for (int round = 0; round < 2; ++round) {
        {
            NamedLock held(place, "gk-kept", milliseconds(0), "");
            EXPECT_FALSE(taken([&] { NamedLock second(other, "gk-kept", milliseconds(0), ""); }));
            EXPECT_FALSE(taken([] { NamedLock second("gk-kept", milliseconds(0)); }));
            EXPECT_TRUE(taken([&] { NamedLock second(other, "gk-else", milliseconds(0), ""); }));
        }
        // Given back, not lost: the others have it now, and the place again.
        EXPECT_TRUE(taken([] { NamedLock second("gk-kept", milliseconds(0)); }));
        EXPECT_TRUE(taken([&] { NamedLock second(other, "gk-kept", milliseconds(0), ""); }));
        // A clean-up removes the lock file: the next hold must meet the
        // writers that open the new one.
        fs::remove(OwnLockDirectory() + "/" + LockFileName("gk-kept"));
    }
    {
        NamedLock held(place, "gk-kept", milliseconds(0), "");
        EXPECT_TRUE(fs::exists(OwnLockDirectory() + "/" + LockFileName("gk-kept")));
        EXPECT_FALSE(taken([] { NamedLock second("gk-kept", milliseconds(0)); }));
    }
    // A copy opens its own and so is excluded too.
    NamedLockPlace copy(place);
    NamedLock held(place, "gk-kept", milliseconds(0), "");
    EXPECT_FALSE(taken([&] { NamedLock second(copy, "gk-kept", milliseconds(0), ""); }));
}

TEST(NamedLockTest, InTheUsersHomeWithoutRuntimeFolderCreatedPrivate)
{
    test::TempDir home;
    const std::string dir = LockDirectory(::geteuid(), home.path().string(), home / "no-run");
    EXPECT_EQ(dir, home / ".local/state/glowkite/locks");
    test::RuntimeDirOverride restoresEnvironment;
    ::setenv("GLOWKITE_LOCK_DIR", dir.c_str(), 1);
    {
        NamedLock lock("gk-lock-test", milliseconds(0));
        EXPECT_TRUE(lock.Refusal().empty());
        for (const std::string &level : {dir, home / ".local/state/glowkite"}) {
            struct stat st {};
            ASSERT_EQ(::lstat(level.c_str(), &st), 0) << level;
            EXPECT_EQ(st.st_mode & 0777, 0700u) << level;
            EXPECT_EQ(st.st_uid, ::geteuid());
        }
        EXPECT_TRUE(fs::is_regular_file(dir + "/" + LockFileName("gk-lock-test")));
    }
}

} // namespace
} // namespace glowkite

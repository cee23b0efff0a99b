#include "settings/Paths.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace glowkite {
namespace {

namespace fs = std::filesystem;

const PathEnvironment kUser{"", "", "/home/ann"};

TEST(IniFileNameForTest, ExtensionReplacedOrAppended)
{
    EXPECT_EQ(IniFileNameFor("/opt/tools/logger.exe"), "/opt/tools/logger.INI");
    EXPECT_EQ(IniFileNameFor("/opt/tools/glowkite"), "/opt/tools/glowkite.INI");
    EXPECT_EQ(IniFileNameFor("/opt/my.tools/glowkite"), "/opt/my.tools/glowkite.INI");
    EXPECT_EQ(IniFileNameFor("/opt/.glowkite"), "/opt/.glowkite.INI");
    EXPECT_EQ(IniFileNameFor("glowkite.bin.exe"), "glowkite.bin.INI");
}

TEST(ResolveProgramPathsTest, BesideProgramWhenItsFolderIsWritable)
{
    ProgramPaths paths = ResolveProgramPaths("/opt/gk/glowkite", true, kUser, {});
    EXPECT_EQ(paths.IniFile, "/opt/gk/glowkite.INI");
    EXPECT_EQ(paths.LogDir, "/opt/gk/LOG/");
    EXPECT_TRUE(paths.FoldersToCreate.empty());
}

TEST(ResolveProgramPathsTest, UserFoldersWhenProgramFolderIsReadOnly)
{
    ProgramPaths paths = ResolveProgramPaths("/usr/bin/glowkite", false, kUser, {});
    EXPECT_EQ(paths.IniFile, "/home/ann/.config/glowkite/glowkite.INI");
    EXPECT_EQ(paths.LogDir, "/home/ann/.local/share/glowkite/LOG/");
    EXPECT_EQ(paths.FoldersToCreate, (std::vector<std::string>{"/home/ann/.config/glowkite",
                                                               "/home/ann/.local/share/glowkite"}));

    PathEnvironment xdg{"/cfg", "/data", "/home/ann"};
    paths = ResolveProgramPaths("/usr/bin/glowkite.exe", false, xdg, {});
    EXPECT_EQ(paths.IniFile, "/cfg/glowkite/glowkite.INI");
    EXPECT_EQ(paths.LogDir, "/data/glowkite/LOG/");

    // Relative XDG values are to be ignored.
    PathEnvironment relative{"cfg", "data", "/home/ann"};
    paths = ResolveProgramPaths("/usr/bin/glowkite", false, relative, {});
    EXPECT_EQ(paths.IniFile, "/home/ann/.config/glowkite/glowkite.INI");
    EXPECT_EQ(paths.LogDir, "/home/ann/.local/share/glowkite/LOG/");
}

TEST(ResolveProgramPathsTest, OverridesWinOverBoth)
{
    PathOverrides overrides{"/etc/gk.ini", "/var/log/gk"};
    for (bool writable : {true, false}) {
        ProgramPaths paths = ResolveProgramPaths("/usr/bin/glowkite", writable, kUser, overrides);
        EXPECT_EQ(paths.IniFile, "/etc/gk.ini");
        EXPECT_EQ(paths.LogDir, "/var/log/gk/");
        EXPECT_TRUE(paths.FoldersToCreate.empty());
    }
    ProgramPaths onlyLog = ResolveProgramPaths("/usr/bin/glowkite", false, kUser, {"", "/tmp/L/"});
    EXPECT_EQ(onlyLog.IniFile, "/home/ann/.config/glowkite/glowkite.INI");
    EXPECT_EQ(onlyLog.LogDir, "/tmp/L/");
}

TEST(SystemPathsTest, OwnProgramAndFolderRights)
{
    const std::string self = OwnProgramPath();
    EXPECT_EQ(fs::path(self).filename(), "PathsTest");
    EXPECT_TRUE(fs::is_regular_file(self));

    test::TempDir dir;
    EXPECT_TRUE(FolderWritable(dir.path().string()));
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    test::PermissionsEnforced enforced;
    EXPECT_FALSE(FolderWritable(dir.path().string()));
}

TEST(SystemPathsTest, FoldersAreCreatedWithTheirParents)
{
    test::TempDir home;
    const std::string config = home / "deep/.config/glowkite";
    const std::string data = home / "deep/.local/share/glowkite";
    CreateFolders({config, data + "/"});
    EXPECT_TRUE(fs::is_directory(config));
    EXPECT_TRUE(fs::is_directory(data));
    CreateFolders({config});
    EXPECT_TRUE(fs::is_directory(config));
}

} // namespace
} // namespace glowkite

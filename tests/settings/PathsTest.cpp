#include "settings/Paths.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
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

TEST(ResolveProgramPathsTest, BesideProgramForAPortableInstallation)
{
    for (const char *program : {"/opt/gk/glowkite", "/opt/gk/glowkite-cli", "/opt/gk/gk.exe"}) {
        ProgramPaths paths = ResolveProgramPaths(program, true, kUser, {});
        EXPECT_EQ(paths.IniFile, "/opt/gk/glowkite.INI") << program;
        EXPECT_EQ(paths.LogDir, "/opt/gk/LOG/");
        EXPECT_TRUE(paths.FoldersToCreate.empty());
    }
}

TEST(ResolveProgramPathsTest, UserFoldersOtherwiseWhateverTheProgramsName)
{
    for (const char *program : {"/usr/bin/glowkite", "/usr/bin/glowkite-cli",
                                "/home/ann/src/gk/build/src/tools/glowkite-cli"}) {
        ProgramPaths paths = ResolveProgramPaths(program, false, kUser, {});
        EXPECT_EQ(paths.IniFile, "/home/ann/.config/glowkite/glowkite.INI") << program;
        EXPECT_EQ(paths.LogDir, "/home/ann/.local/share/glowkite/LOG/");
        EXPECT_EQ(paths.FoldersToCreate, (std::vector<std::string>{"/home/ann/.config/glowkite",
                                                                   "/home/ann/.local/share/glowkite"}));
    }
    ProgramPaths paths;

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

TEST(PortableInstallationTest, OnlyAWritableMarkedFolderOutsideABuildTree)
{
    test::TempDir root;
    const std::string folder = root / "opt/gk";
    fs::create_directories(folder);
    EXPECT_FALSE(PortableInstallation(folder)) << "writable but not marked";
    test::WriteFile(folder + "/" + kPortableMarker, "");
    EXPECT_TRUE(PortableInstallation(folder));
    EXPECT_TRUE(PortableInstallation(folder + "/"));

    {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        test::PermissionsEnforced enforced;
        EXPECT_FALSE(PortableInstallation(folder)) << "marked but read-only";
    }
    fs::permissions(folder, fs::perms::owner_all);

    // A build tree is never the data home, marked or not, at any depth.
    test::WriteFile(root / "opt/CMakeCache.txt", "");
    EXPECT_TRUE(InBuildTree(folder));
    EXPECT_FALSE(PortableInstallation(folder));
    fs::remove(root / "opt/CMakeCache.txt");
    EXPECT_FALSE(InBuildTree(folder));
    fs::create_directory(folder + "/CMakeCache.txt"); // a folder of that name is no cache
    EXPECT_FALSE(InBuildTree(folder));
    EXPECT_TRUE(PortableInstallation(folder));
}

TEST(SystemPathsTest, OwnProgramAndFolderRights)
{
    const std::string self = OwnProgramPath();
    EXPECT_EQ(fs::path(self).filename(), "PathsTest");
    EXPECT_TRUE(fs::is_regular_file(self));
    EXPECT_TRUE(InBuildTree(fs::path(self).parent_path().string())) << "this test runs from the build";

    test::TempDir dir;
    EXPECT_TRUE(FolderWritable(dir.path().string()));
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    test::PermissionsEnforced enforced;
    EXPECT_FALSE(FolderWritable(dir.path().string()));
}

// What a program copied to `program` answers, run with `home` as its user's
// home, XDG variables unset and another working directory.
std::string AnswerOf(const std::string &program, const std::string &home)
{
    const std::string command = "cd / && env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME='" + home + "' '" +
                                program + "'";
    std::string output;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

TEST(SystemPathsTest, WindowAndCliGetTheSameAnswerFromAnyFolder)
{
    test::TempDir root;
    const std::string home = root / "home";
    fs::create_directory(home);
    const std::string perUser = home + "/.config/glowkite/glowkite.INI\n" + home + "/.local/share/glowkite/LOG/\n";
    auto install = [&](const std::string &folder) {
        fs::create_directories(folder);
        for (const char *name : {"glowkite", "glowkite-cli"})
            fs::copy_file(GK_PATHS_PROBE, folder + "/" + name, fs::copy_options::overwrite_existing);
    };

    const std::string plain = root / "opt/gk", build = root / "src/gk/build/src/tools";
    install(plain);
    install(build);
    test::WriteFile(root / "src/gk/build/CMakeCache.txt", "");
    test::WriteFile(build + "/" + kPortableMarker, ""); // marked, but a build tree all the same
    for (const std::string &folder : {plain, build}) {
        EXPECT_EQ(AnswerOf(folder + "/glowkite", home), perUser) << folder;
        EXPECT_EQ(AnswerOf(folder + "/glowkite-cli", home), perUser) << folder;
    }
    EXPECT_TRUE(fs::is_directory(home + "/.local/share/glowkite"));

    test::WriteFile(plain + "/" + kPortableMarker, "");
    const std::string portable = plain + "/glowkite.INI\n" + plain + "/LOG/\n";
    EXPECT_EQ(AnswerOf(plain + "/glowkite", home), portable);
    EXPECT_EQ(AnswerOf(plain + "/glowkite-cli", home), portable);
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

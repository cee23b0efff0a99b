// Where the program's files go on Windows.
#include "settings/Paths.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

using namespace glowkite;

namespace {

const PathEnvironment kUser{"C:\\Users\\ann\\AppData\\Roaming", "C:\\Users\\ann\\AppData\\Local", "C:\\Users\\ann"};

TEST(PathsWin32Test, BesideTheProgramForAPortableInstallation)
{
    const ProgramPaths paths = ResolveProgramPaths("D:\\Tools\\logger.exe", true, kUser, {});
    EXPECT_EQ(paths.IniFile, "D:\\Tools\\glowkite.INI") << "the window's and the CLI's one file";
    EXPECT_EQ(paths.LogDir, "D:\\Tools\\LOG\\");
    EXPECT_TRUE(paths.FoldersToCreate.empty());
    EXPECT_EQ(IniFileNameFor("D:\\v1.2\\logger"), "D:\\v1.2\\logger.INI");
    EXPECT_EQ(IniFileNameFor("D:/Tools/logger.exe"), "D:/Tools/logger.INI");
}

TEST(PathsWin32Test, PerUserFoldersWhenTheProgramFolderIsNotWritable)
{
    const ProgramPaths paths = ResolveProgramPaths("C:\\Program Files\\GlowKite\\glowkite.exe", false, kUser, {});
    EXPECT_EQ(paths.IniFile, "C:\\Users\\ann\\AppData\\Roaming\\glowkite\\glowkite.INI");
    EXPECT_EQ(paths.LogDir, "C:\\Users\\ann\\AppData\\Local\\glowkite\\LOG\\");
    EXPECT_EQ(paths.FoldersToCreate, (std::vector<std::string>{"C:\\Users\\ann\\AppData\\Roaming\\glowkite",
                                                               "C:\\Users\\ann\\AppData\\Local\\glowkite"}));
    const ProgramPaths noAppData =
        ResolveProgramPaths("C:\\Program Files\\GlowKite\\glowkite.exe", false, {"", "relative", "C:\\Users\\bo"}, {});
    EXPECT_EQ(noAppData.IniFile, "C:\\Users\\bo\\AppData\\Roaming\\glowkite\\glowkite.INI");
    EXPECT_EQ(noAppData.LogDir, "C:\\Users\\bo\\AppData\\Local\\glowkite\\LOG\\");
    const ProgramPaths overridden =
        ResolveProgramPaths("C:\\Program Files\\GlowKite\\glowkite.exe", false, kUser, {"E:\\my.INI", "E:\\logs"});
    EXPECT_EQ(overridden.IniFile, "E:\\my.INI");
    EXPECT_EQ(overridden.LogDir, "E:\\logs\\");
}

TEST(PathsWin32Test, AWritableProgramFolderIsPortableUnlessABuildTree)
{
    test::TempDir dir;
    const std::string folder = (dir.path() / "gk").string();
    CreateFolders({folder});
    EXPECT_TRUE(PortableInstallation(folder));
    EXPECT_FALSE(PortableInstallation((dir.path() / "missing").string()));
    test::WriteFile((dir.path() / "CMakeCache.txt").string(), "");
    EXPECT_TRUE(InBuildTree(folder + "\\"));
    EXPECT_FALSE(PortableInstallation(folder));
}

TEST(PathsWin32Test, OwnProgramAndItsFolders)
{
    const std::string self = OwnProgramPath();
    EXPECT_NE(self.find("PathsWin32Test.exe"), std::string::npos) << self;
    test::TempDir dir;
    EXPECT_TRUE(FolderWritable(dir.path().string()));
    EXPECT_FALSE(FolderWritable((dir.path() / "missing").string()));
    const std::string deep = (dir.path() / "a" / "b" / "c").string();
    CreateFolders({deep});
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1)
        << "no probe file left behind";
}

} // namespace

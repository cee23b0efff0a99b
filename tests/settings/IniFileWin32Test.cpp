// The settings file on Windows: what TIniFile writes, the system's profile
// functions read alike, and the other way round; and the Windows side of
// writing (read-only files, the replacement of the file).
#include "settings/IniFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <windows.h>

using namespace glowkite;

namespace {

std::string ProfileString(const std::string &file, const char *section, const char *key)
{
    char value[256] = {};
    GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, file.c_str());
    return value;
}

class IniFileWin32Test : public ::testing::Test {
protected:
    std::string Path() const { return (dir_.path() / "glowkite.INI").string(); }
    test::TempDir dir_;
};

TEST_F(IniFileWin32Test, WhatTIniFileWritesTheProfileFunctionsRead)
{
    TIniFile ini(Path());
    ini.WriteInteger("Window", "Main.Left", -12);
    ini.WriteString("Interface", "ComPort", "COM5");
    ini.WriteBool("Graph", "Gain", true);
    ini.WriteInteger("Window", "Main.Left", 40);
    ini.WriteString("Interface", "Parity", "None");
    EXPECT_EQ(ProfileString(Path(), "Window", "Main.Left"), "40");
    EXPECT_EQ(ProfileString(Path(), "interface", "COMPORT"), "COM5");
    EXPECT_EQ(ProfileString(Path(), "Interface", "Parity"), "None");
    EXPECT_EQ(ProfileString(Path(), "Graph", "Gain"), "1");
    EXPECT_EQ(ProfileString(Path(), "Graph", "xPosActive"), "<missing>");
}

TEST_F(IniFileWin32Test, WhatTheProfileFunctionsWriteTIniFileReads)
{
    WritePrivateProfileStringA("Parameter", "Intervall", "$A", Path().c_str());
    WritePrivateProfileStringA("Interface", "ComPort", "COM3", Path().c_str());
    WritePrivateProfileStringA("Parameter", "GlowkiteVersion", "1", Path().c_str());
    WritePrivateProfileStringA("Interface", "ComPort", "COM4", Path().c_str());
    const TIniFile ini(Path());
    EXPECT_EQ(ini.ReadInteger("Parameter", "Intervall", 60), 10);
    EXPECT_EQ(ini.ReadString("INTERFACE", "comport", "COM1"), "COM4");
    EXPECT_TRUE(ini.ReadBool("Parameter", "GlowkiteVersion", false));
    EXPECT_EQ(ini.ReadString("Interface", "Baudrate", "2400"), "2400");
}

TEST_F(IniFileWin32Test, ReadOnlyFileGivesGermanErrorAndStaysAsItWas)
{
    test::WriteFile(Path(), "[Window]\r\nMain.Left=5\r\n");
    SetFileAttributesA(Path().c_str(), FILE_ATTRIBUTE_READONLY);
    TIniFile ini(Path());
    try {
        ini.WriteInteger("Window", "Main.Left", 1);
        FAIL() << "wrote into a read-only file";
    } catch (const EIniError &e) {
        EXPECT_STREQ(e.what(), ("In " + Path() + " kann nicht geschrieben werden").c_str());
    }
    SetFileAttributesA(Path().c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(test::ReadFile(Path()), "[Window]\r\nMain.Left=5\r\n");
}

TEST_F(IniFileWin32Test, ReplacingLeavesNoCopiesAndMissingFolderFails)
{
    TIniFile ini(Path());
    ini.WriteInteger("Window", "Main.Top", 3);
    ini.WriteInteger("Window", "Main.Top", 4);
    EXPECT_EQ(test::ReadFile(Path()), "[Window]\r\nMain.Top=4\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), std::filesystem::directory_iterator()),
              1);
    TIniFile missing((dir_.path() / "missing" / "glowkite.INI").string());
    EXPECT_THROW(missing.WriteInteger("Window", "Main.Top", 3), EIniError);
}

} // namespace

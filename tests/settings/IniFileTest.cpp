#include "settings/IniFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace glowkite {
namespace {

using test::ReadFile;
using test::WriteFile;
namespace fs = std::filesystem;
using namespace std::string_literals;

class IniFileTest : public ::testing::Test {
protected:
    std::string Path() const { return dir_ / "glowkite.INI"; }
    TIniFile WithContent(const std::string &bytes) const
    {
        WriteFile(Path(), bytes);
        return TIniFile(Path());
    }
    void ExpectWriteError(TIniFile &ini) const
    {
        try {
            ini.WriteInteger("Window", "Main.Left", 1);
            FAIL() << "no error";
        } catch (const EIniError &e) {
            EXPECT_STREQ(e.what(),
                         ("In " + ini.FileName() + " kann nicht geschrieben werden").c_str());
        }
    }

    test::TempDir dir_;
};

TEST_F(IniFileTest, MissingFileGivesDefaultsAndFirstWritesCreateIt)
{
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("Interface", "ComPort", "COM1"), "COM1");
    EXPECT_EQ(ini.ReadInteger("Window", "Main.With", 640), 640);
    EXPECT_TRUE(ini.ReadBool("Parameter", "AllData2Chart", true));
    EXPECT_FALSE(fs::exists(Path()));

    ini.WriteInteger("Window", "Main.Left", -8);
    ini.WriteInteger("Window", "Main.Top", 12);
    ini.WriteBool("Parameter", "AllData2Chart", false);
    ini.WriteString("Interface", "ComPort", "/dev/ttyUSB0");
    EXPECT_EQ(ReadFile(Path()), "[Window]\r\nMain.Left=-8\r\nMain.Top=12\r\n"
                                "[Parameter]\r\nAllData2Chart=0\r\n"
                                "[Interface]\r\nComPort=/dev/ttyUSB0\r\n");
    EXPECT_EQ(ini.ReadInteger("Window", "Main.Left", 0), -8);
    EXPECT_FALSE(ini.ReadBool("Parameter", "AllData2Chart", true));
    EXPECT_EQ(ini.ReadString("Interface", "ComPort", "COM1"), "/dev/ttyUSB0");
}

TEST_F(IniFileTest, ReadingIgnoresCaseBlanksQuotesAndLaterDuplicates)
{
    TIniFile ini = WithContent("Orphan=before any section\n"
                               "; Main.Left=99\n"
                               "  [ window ]  \n"
                               "  MAIN.LEFT  =  \t5  \n"
                               "main.left=6\n"
                               "no equals sign here\n"
                               "Quoted=\"two words\"\n"
                               "Single='x'\n"
                               "Unmatched=\"abc'\n"
                               "Lone=\"\n"
                               "Empty=\n"
                               "=no name\n"
                               "[Window]\n"
                               "Main.Top=7\n");
    EXPECT_EQ(ini.ReadInteger("Window", "Main.Left", 0), 5);
    EXPECT_EQ(ini.ReadString("Window", "Quoted", ""), "two words");
    EXPECT_EQ(ini.ReadString("Window", "Single", ""), "x");
    EXPECT_EQ(ini.ReadString("Window", "Unmatched", ""), "\"abc'");
    EXPECT_EQ(ini.ReadString("Window", "Lone", ""), "\"");
    EXPECT_EQ(ini.ReadString("Window", "Empty", "default"), "");
    EXPECT_EQ(ini.ReadString("Window", "no equals sign here", "default"), "default");
    EXPECT_EQ(ini.ReadString("Window", "Orphan", "default"), "default");
    EXPECT_EQ(ini.ReadString("", "Orphan", "default"), "default");
    // Only the first section of a name counts.
    EXPECT_EQ(ini.ReadInteger("Window", "Main.Top", -1), -1);
}

TEST_F(IniFileTest, IntegersAsDecimalOrHexadecimalElseDefault)
{
    const std::pair<const char *, std::int32_t> cases[] = {
        {"0x0A", 10},        {"$A", 10},
        {"0X0a", 10},        {"$a", 10},
        {"abc", 60},         {"", 60},
        {"12abc", 60},       {"1 2", 60},
        {"-5", -5},          {"+7", 7},
        {"007", 7},          {"2147483647", 2147483647},
        {"2147483648", 60},  {"-2147483648", INT32_MIN},
        {"-2147483649", 60}, {"$FFFFFFFF", -1},
        {"$100000000", 60},  {"-$A", -10},
        {"0x", 60},          {"$", 60},
        {"-", 60},           {"x1A", 60},
        {"1.5", 60},
    };
    for (const auto &[text, expected] : cases) {
        TIniFile ini = WithContent(std::string("[Parameter]\r\nIntervall=") + text + "\r\n");
        EXPECT_EQ(ini.ReadInteger("Parameter", "Intervall", 60), expected) << '"' << text << '"';
    }
}

TEST_F(IniFileTest, BooleansAreIntegersNotWords)
{
    TIniFile ini =
        WithContent("[Parameter]\r\nAllData2Chart=yes\r\n[Graph]\r\nGain=2\r\nxPosActive=0x0\r\n");
    EXPECT_TRUE(ini.ReadBool("Parameter", "AllData2Chart", true));
    EXPECT_FALSE(ini.ReadBool("Parameter", "AllData2Chart", false));
    EXPECT_TRUE(ini.ReadBool("Graph", "Gain", false));
    EXPECT_FALSE(ini.ReadBool("Graph", "xPosActive", true));

    ini.WriteBool("Graph", "Gain", ini.ReadBool("Graph", "Gain", false));
    EXPECT_EQ(ReadFile(Path()),
              "[Parameter]\r\nAllData2Chart=yes\r\n[Graph]\r\nGain=1\r\nxPosActive=0x0\r\n");
}

TEST_F(IniFileTest, WritesReplaceInPlaceOrAppendToTheirSection)
{
    TIniFile ini = WithContent("; settings\n"
                               "[Window]\n"
                               "main.left = 1\n"
                               "Main.Top=2\n"
                               "\n"
                               "; graph follows\n"
                               "[Graph]\n"
                               "Gain=0\n");
    ini.WriteInteger("WINDOW", "Main.Left", 100);
    ini.WriteInteger("Window", "Main.With", 640);
    ini.WriteBool("Graph", "xPosActive", true);
    EXPECT_EQ(ReadFile(Path()), "; settings\n"
                                "[Window]\n"
                                "main.left=100\n"
                                "Main.Top=2\n"
                                "Main.With=640\r\n"
                                "\n"
                                "; graph follows\n"
                                "[Graph]\n"
                                "Gain=0\n"
                                "xPosActive=1\r\n");
}

TEST_F(IniFileTest, InterfaceSectionSurvivesWritingTheOthers)
{
    const std::string interface = "[Interface]\r\nComPort=COM4\r\nBaudrate=\r\nDatabits=8\r\n"
                                  "Parity=None\r\nStopbits=1\r\n";
    TIniFile ini = WithContent(interface);
    const char *windowKeys[] = {"Main.Left",   "Main.Top",     "Main.With",
                                "Main.Heigth", "Chart.Heigth", "Panel1.With"};
    for (const char *key : windowKeys)
        ini.WriteInteger("Window", key, 1);
    ini.WriteBool("Parameter", "AllData2Chart", true);
    ini.WriteBool("Parameter", "GlowkiteVersion", true);
    ini.WriteInteger("Parameter", "Intervall", 60);
    for (const char *key : {"xPosActive", "yPosActive", "Gain"})
        ini.WriteBool("Graph", key, false);

    const std::string content = ReadFile(Path());
    EXPECT_EQ(content.substr(0, interface.size()), interface);
    EXPECT_EQ(content.substr(interface.size()),
              "[Window]\r\nMain.Left=1\r\nMain.Top=1\r\nMain.With=1\r\nMain.Heigth=1\r\n"
              "Chart.Heigth=1\r\nPanel1.With=1\r\n"
              "[Parameter]\r\nAllData2Chart=1\r\nGlowkiteVersion=1\r\nIntervall=60\r\n"
              "[Graph]\r\nxPosActive=0\r\nyPosActive=0\r\nGain=0\r\n");
    EXPECT_EQ(ini.ReadString("Interface", "ComPort", ""), "COM4");
}

TEST_F(IniFileTest, ForeignBytesStayByteForByte)
{
    const std::string head = "[Interface]\r\nComPort=COM4\nNote=Gr\xF6\xDF"
                             "e\r\n";
    const std::string nul("Bin=a\0b\n", 8);
    TIniFile ini = WithContent(head + nul + "[Graph]\nGain=0");
    ini.WriteBool("Graph", "yPosActive", true);
    EXPECT_EQ(ReadFile(Path()), head + nul + "[Graph]\nGain=0\r\nyPosActive=1");
    ini.WriteBool("Window", "Main.Left", true);
    EXPECT_EQ(ReadFile(Path()),
              head + nul + "[Graph]\nGain=0\r\nyPosActive=1\r\n[Window]\r\nMain.Left=1\r\n");
    EXPECT_EQ(ini.ReadString("Interface", "Note", ""), "Gr\xF6\xDF"
                                                       "e");
    EXPECT_EQ(ini.ReadString("Interface", "Bin", ""), std::string("a\0b", 3));
}

TEST_F(IniFileTest, ArbitraryInputIsReadWithoutHarm)
{
    std::string huge(3 << 20, 'v');
    TIniFile ini =
        WithContent("[A]\r\nBig="s + huge + "\r\n[B\r\nk=1\r\n[\r\n]\r\n\0\0\r\n[C]x\r\nk=2"s);
    EXPECT_EQ(ini.ReadString("A", "Big", "").size(), huge.size());
    // "[B" is no section header: its key belongs to A.
    EXPECT_EQ(ini.ReadInteger("A", "k", 0), 1);
    EXPECT_EQ(ini.ReadInteger("B", "k", 0), 0);
    EXPECT_EQ(ini.ReadInteger("C", "k", 0), 2);
    ini.WriteInteger("C", "k", 3);
    EXPECT_EQ(ini.ReadInteger("C", "k", 0), 3);

    TIniFile empty = WithContent(std::string(1000, '\0'));
    EXPECT_EQ(empty.ReadString("A", "k", "d"), "d");
}

TEST_F(IniFileTest, NamesAndValuesThatWouldBreakTheFileAreRefused)
{
    TIniFile ini(Path());
    EXPECT_THROW(ini.WriteString("a]b", "k", "v"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("S", "a=b", "v"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("S", ";k", "v"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("S", " ", "v"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("S", "k", "two\r\nlines"), std::invalid_argument);
    EXPECT_FALSE(fs::exists(Path()));
}

// Mode bits, folder permissions and symlinks are POSIX matters; the Windows
// side of writing is tested in IniFileWin32Test.
#ifndef _WIN32

TEST_F(IniFileTest, UnwritableFileOrFolderGivesGermanErrorWithPath)
{
    TIniFile readOnly = WithContent("[Window]\r\nMain.Left=5\r\n");
    fs::permissions(Path(), fs::perms::owner_read);
    {
        test::PermissionsEnforced enforced;
        ExpectWriteError(readOnly);
    }
    EXPECT_EQ(ReadFile(Path()), "[Window]\r\nMain.Left=5\r\n");

    TIniFile missingFolder(dir_ / "missing/glowkite.INI");
    ExpectWriteError(missingFolder);

    const std::string locked = dir_ / "locked";
    fs::create_directory(locked);
    WriteFile(locked + "/glowkite.INI", "[Window]\nMain.Left=5\n");
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    TIniFile inLockedFolder(locked + "/glowkite.INI");
    TIniFile newInLockedFolder(locked + "/new.INI");
    test::PermissionsEnforced enforced;
    // The folder refuses the new copy, the file itself can still be rewritten.
    inLockedFolder.WriteInteger("Window", "Main.Left", 12345);
    EXPECT_EQ(ReadFile(locked + "/glowkite.INI"), "[Window]\nMain.Left=12345\n");
    inLockedFolder.WriteInteger("Window", "Main.Left", 7);
    EXPECT_EQ(ReadFile(locked + "/glowkite.INI"), "[Window]\nMain.Left=7\n");
    ExpectWriteError(newInLockedFolder);
}

TEST_F(IniFileTest, ReplacingKeepsModeAndSymlink)
{
    WriteFile(dir_ / "real.INI", "[Window]\r\n");
    fs::permissions(dir_ / "real.INI",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(dir_ / "real.INI", Path());
    TIniFile ini(Path());
    ini.WriteInteger("Window", "Main.Top", 3);
    EXPECT_TRUE(fs::is_symlink(Path()));
    EXPECT_EQ(ReadFile(dir_ / "real.INI"), "[Window]\r\nMain.Top=3\r\n");
    EXPECT_EQ(fs::status(dir_ / "real.INI").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // No temporary copies left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);
}

#endif

} // namespace
} // namespace glowkite

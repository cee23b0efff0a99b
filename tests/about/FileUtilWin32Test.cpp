// fileUtil on the files Windows has: this test program itself (built with
// the program's version resource) and the system's own DLLs.
#include "about/fileUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <windows.h>

using namespace glowkite;

namespace {

std::string OwnPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// The time stamp as the system's loader sees it, for comparison.
std::uint32_t LoaderTimeStamp(const std::string &path)
{
    const HMODULE module = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (module == nullptr)
        return 0;
    const auto *base = reinterpret_cast<const unsigned char *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const std::uint32_t stamp = nt->FileHeader.TimeDateStamp;
    FreeLibrary(module);
    return stamp;
}

TEST(FileUtilWin32Test, OwnVersionResource)
{
    TLblData data;
    ReadVersionInfo(OwnPath(), data);
    EXPECT_EQ(data.FixedVersion, "1.0.2.4");
    EXPECT_EQ(data.FileVersion, "1.0.2.4");
    EXPECT_EQ(data.FileDescription, "");
    EXPECT_EQ(data.LegalCopyright, "");
    // The language of the first (only) translation, 0x0407, by the system's name.
    char german[100] = {};
    VerLanguageNameA(0x0407, german, sizeof german);
    EXPECT_EQ(data.LanguageName, german);
    EXPECT_FALSE(data.LanguageName.empty());
}

TEST(FileUtilWin32Test, OwnBuildTimeIsTheLinkTime)
{
    const std::string self = OwnPath();
    ASSERT_TRUE(IsPEFile(self));
    const std::uint32_t stamp = ReadBuildTime(self);
    EXPECT_EQ(stamp, LoaderTimeStamp(self));
    struct _stat64 st {};
    ASSERT_EQ(_stat64(self.c_str(), &st), 0);
    // Linked moments before the file was last written.
    EXPECT_LE(stamp, static_cast<std::uint64_t>(st.st_mtime) + 5);
    EXPECT_GE(stamp + 3600ull, static_cast<std::uint64_t>(st.st_mtime));

    InitProgramInfo(self);
    EXPECT_EQ(ProgramInfo.FileVersion, "1.0.2.4");
    EXPECT_EQ(ProgramInfo.BuildDate, FormatDate(SecondsToDate(stamp)));
    EXPECT_EQ(ProgramInfo.BuildDateCompact, FormatDateCompact(SecondsToDate(stamp)));
}

TEST(FileUtilWin32Test, SystemDllsAreReadLikeTheLoaderReadsThem)
{
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    for (const char *name : {"kernel32.dll", "ntdll.dll", "user32.dll", "version.dll"}) {
        const std::string path = std::string(system) + "\\" + name;
        SCOPED_TRACE(path);
        ASSERT_TRUE(IsPEFile(path));
        const std::uint32_t stamp = ReadBuildTime(path);
        const std::uint32_t loader = LoaderTimeStamp(path);
        if (loader != 0x2A425E19) {
            EXPECT_EQ(stamp, loader);
        }
        TLblData data;
        ReadVersionInfo(path, data);
        int parts[4];
        EXPECT_EQ(std::sscanf(data.FixedVersion.c_str(), "%d.%d.%d.%d", &parts[0], &parts[1], &parts[2],
                              &parts[3]),
                  4)
            << data.FixedVersion;
    }
    EXPECT_EQ(ReadBuildTime(std::string(system) + "\\no-such-file.dll"), 0u);
}

} // namespace

#include "about/BuildInfo.h"
#include "about/fileUtil.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <ctime>
#include <vector>

namespace glowkite {
namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::uint32_t kPlaceholder = 0x2A425E19;
constexpr std::uint32_t kStamp20120305 = 1330966684; // 2012-03-05 16:58:04

void Put16(Bytes &b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

void Put32(Bytes &b, std::size_t at, std::uint32_t v)
{
    Put16(b, at, static_cast<std::uint16_t>(v));
    Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

// A minimal PE image: MS-DOS header pointing at 0x80, the PE headers, two
// sections (.text and .rsrc) and a resource directory at file position 0x600.
struct PEImage {
    std::uint32_t headerStamp = kPlaceholder;
    std::uint32_t resourceStamp = 0x40658742;
    std::uint16_t optionalSize = 224;
    std::uint16_t magic = 0x10B;
    std::uint32_t resourceAddress = 0x3000;
    std::uint32_t resourceSize = 0x100;
    std::uint32_t textAddress = 0x1000;
    std::uint32_t rsrcAddress = 0x3000;
    std::uint32_t rsrcRawSize = 0x200;

    static constexpr std::size_t kHeaderPos = 0x80;
    static constexpr std::size_t kResourcePos = 0x600;

    static void PutSection(Bytes &b, std::size_t entry, std::uint32_t virtualAddress,
                           std::uint32_t rawSize, std::uint32_t rawPos)
    {
        Put32(b, entry + 12, virtualAddress);
        Put32(b, entry + 16, rawSize);
        Put32(b, entry + 20, rawPos);
    }

    std::size_t TablePos() const { return kHeaderPos + 24 + optionalSize; }

    Bytes Build() const
    {
        Bytes b(0x800, 0);
        b[0] = 'M';
        b[1] = 'Z';
        Put32(b, 0x3C, kHeaderPos);
        const std::size_t h = kHeaderPos;
        b[h] = 'P';
        b[h + 1] = 'E';
        Put16(b, h + 4, 0x14C);
        Put16(b, h + 6, 2);
        Put32(b, h + 8, headerStamp);
        Put16(b, h + 20, optionalSize);
        Put16(b, h + 24, magic);
        Put32(b, h + 0x88, resourceAddress);
        Put32(b, h + 0x8C, resourceSize);
        PutSection(b, TablePos(), textAddress, 0x200, 0x400);
        PutSection(b, TablePos() + 40, rsrcAddress, rsrcRawSize, kResourcePos);
        Put32(b, kResourcePos + 4, resourceStamp);
        return b;
    }
};

class FileUtilTest : public ::testing::Test {
protected:
    std::string Write(const Bytes &bytes, std::size_t length = SIZE_MAX)
    {
        const std::string name = dir_ / "program.exe";
        test::WriteFile(
            name, std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(
                                                                 std::min(length, bytes.size()))));
        return name;
    }
    std::uint32_t BuildTime(const PEImage &image) { return ReadBuildTime(Write(image.Build())); }

    test::TempDir dir_;
};

std::string Dates(std::uint32_t seconds)
{
    TCalendarTime t = SecondsToDate(seconds);
    return FormatDate(t) + " " + FormatDateCompact(t);
}

TEST_F(FileUtilTest, HeaderStampIsTheBuildTime)
{
    PEImage image;
    image.headerStamp = 1000000000;
    EXPECT_EQ(BuildTime(image), 1000000000u);
    EXPECT_EQ(Dates(1000000000), "09.09.2001 20010909");
}

TEST_F(FileUtilTest, PlaceholderStampTakesResourceDirectoryTime)
{
    PEImage image;
    EXPECT_EQ(BuildTime(image), kStamp20120305);
    EXPECT_EQ(Dates(kStamp20120305), "05.03.2012 20120305");

    // A larger optional header moves the section table along.
    image.optionalSize = 240;
    EXPECT_EQ(BuildTime(image), kStamp20120305);
}

TEST_F(FileUtilTest, PlaceholderStaysWhenResourceDirectoryCannotBeUsed)
{
    EXPECT_EQ(Dates(kPlaceholder), "19.06.1992 19920619");

    PEImage notWhole;
    notWhole.rsrcRawSize = 0xFF; // the 0x100-byte directory does not fit
    EXPECT_EQ(BuildTime(notWhole), kPlaceholder);

    PEImage smallOptional;
    smallOptional.optionalSize = 223;
    EXPECT_EQ(BuildTime(smallOptional), kPlaceholder);

    PEImage pe32Plus;
    pe32Plus.magic = 0x20B;
    EXPECT_EQ(BuildTime(pe32Plus), kPlaceholder);

    PEImage badDosTime;
    badDosTime.resourceStamp = 0x40658742 | (24u << 11); // hour 24 or more
    EXPECT_EQ(BuildTime(badDosTime), kPlaceholder);

    // Address plus size past 4 GB must not wrap around into a match: in 32
    // bits the .rsrc end 0xFFFFFF80 would seem to hold a directory "ending" at 0x100.
    PEImage wrapping;
    wrapping.textAddress = 0xFFFFFFF0;
    wrapping.rsrcAddress = 0xFFFFFF00;
    wrapping.rsrcRawSize = 0x80;
    wrapping.resourceAddress = 0xFFFFFF00;
    wrapping.resourceSize = 0x200;
    EXPECT_EQ(BuildTime(wrapping), kPlaceholder);
}

TEST_F(FileUtilTest, NotAPEFileIsTime0)
{
    EXPECT_EQ(ReadBuildTime(dir_ / "missing.exe"), 0u);
    EXPECT_EQ(ReadBuildTime(Write(Bytes(4096, 'x'))), 0u);
    EXPECT_EQ(Dates(0), "01.01.1970 19700101");

    Bytes farHeader = PEImage{}.Build();
    Put32(farHeader, 0x3C, 0xFFFFFFF0);
    EXPECT_EQ(ReadBuildTime(Write(farHeader)), 0u);
    EXPECT_FALSE(IsPEFile(dir_ / "program.exe"));

    // Without "MZ" the signature is looked for at position 0.
    Bytes bare = PEImage{}.Build();
    bare.erase(bare.begin(), bare.begin() + PEImage::kHeaderPos);
    Put32(bare, 8, 1000000000);
    EXPECT_EQ(ReadBuildTime(Write(bare)), 1000000000u);
    EXPECT_TRUE(IsPEFile(dir_ / "program.exe"));
}

TEST_F(FileUtilTest, TruncatedFilesGiveDocumentedFallbacks)
{
    const PEImage image;
    const Bytes full = image.Build();
    const std::size_t headerEnd = PEImage::kHeaderPos + 248;
    for (std::size_t length = 0; length <= full.size(); ++length) {
        const std::uint32_t expected = length < headerEnd                    ? 0u
                                       : length < PEImage::kResourcePos + 16 ? kPlaceholder
                                                                             : kStamp20120305;
        ASSERT_EQ(ReadBuildTime(Write(full, length)), expected) << "length " << length;
    }
}

// The Windows build reads its own PE file instead: FileUtilWin32Test.
#ifndef _WIN32
TEST(FileUtilElfTest, TestProgramItselfIsNoPEFile)
{
    EXPECT_EQ(ReadBuildTime("/proc/self/exe"), 0u);
    EXPECT_FALSE(IsPEFile("/proc/self/exe"));
}
#endif

std::uint16_t DosDate(int year, int month, int day)
{
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

std::uint16_t DosTime(int hour, int minute, int second)
{
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

TEST(DosDateTimeTest, ValidDatesConvertToFileTime)
{
    std::uint64_t fileTime = 0;
    ASSERT_TRUE(DosDateTimeToFileTime(DosDate(1980, 1, 1), DosTime(0, 0, 0), fileTime));
    EXPECT_EQ(fileTime, 119600064000000000ull);
    ASSERT_TRUE(DosDateTimeToFileTime(0x4065, 0x8742, fileTime));
    EXPECT_EQ((fileTime - 116444736000000000ull) / 10000000, kStamp20120305);
    EXPECT_TRUE(DosDateTimeToFileTime(DosDate(2012, 2, 29), DosTime(23, 59, 58), fileTime));
    EXPECT_TRUE(DosDateTimeToFileTime(DosDate(2107, 12, 31), DosTime(0, 0, 0), fileTime));
}

TEST(DosDateTimeTest, DatesThatDoNotExistFail)
{
    std::uint64_t fileTime = 0;
    const std::uint16_t noon = DosTime(12, 0, 0);
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2012, 0, 5), noon, fileTime));
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2012, 13, 5), noon, fileTime));
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2012, 3, 0), noon, fileTime));
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2011, 2, 29), noon, fileTime));
    EXPECT_FALSE(DosDateTimeToFileTime(DosDate(2012, 4, 31), noon, fileTime));
    const std::uint16_t day = DosDate(2012, 3, 5);
    EXPECT_FALSE(DosDateTimeToFileTime(day, DosTime(24, 0, 0), fileTime));
    EXPECT_FALSE(DosDateTimeToFileTime(day, DosTime(12, 60, 0), fileTime));
    EXPECT_FALSE(DosDateTimeToFileTime(day, DosTime(12, 0, 60), fileTime));
}

TEST(SecondsToDateTest, CalendarFromUnixSeconds)
{
    TCalendarTime t = SecondsToDate(1000000000);
    EXPECT_EQ((std::vector<int>{t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second}),
              (std::vector<int>{2001, 9, 9, 1, 46, 40}));
    t = SecondsToDate(0xFFFFFFFF);
    EXPECT_EQ((std::vector<int>{t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second}),
              (std::vector<int>{2106, 2, 7, 6, 28, 15}));
    EXPECT_EQ(Dates(86399), "01.01.1970 19700101");
    EXPECT_EQ(Dates(951782400), "29.02.2000 20000229");
    EXPECT_EQ(Dates(951868800), "01.03.2000 20000301");
}

TEST_F(FileUtilTest, ProgramInfoFromPEFileOrCompiledIn)
{
    PEImage image;
    image.headerStamp = 1000000000;
    InitProgramInfo(Write(image.Build()));
    EXPECT_EQ(ProgramInfo.BuildDate, "09.09.2001");
    EXPECT_EQ(ProgramInfo.BuildDateCompact, "20010909");
    EXPECT_EQ(ProgramInfo.FileVersion, ""); // no version resource in the image
}

#ifndef _WIN32
TEST_F(FileUtilTest, ProgramInfoOfAnElfProgramIsCompiledIn)
{
    InitProgramInfo("/proc/self/exe");
    EXPECT_EQ(ProgramInfo.FixedVersion, "1.0.2.4");
    EXPECT_EQ(ProgramInfo.FileVersion, "1.0.2.4");
    EXPECT_EQ(ProgramInfo.LanguageName, "Deutsch (Deutschland)");
    EXPECT_EQ(ProgramInfo.FileDescription, "");
    EXPECT_EQ(ProgramInfo.LegalCopyright, "");
    // The build day: today or earlier, never the 1970 of a missing stamp.
    EXPECT_GT(kBuildTime, 1600000000u);
    EXPECT_LE(kBuildTime, static_cast<std::uint32_t>(std::time(nullptr)));
    EXPECT_EQ(ProgramInfo.BuildDate.size(), 10u);
    EXPECT_EQ(ProgramInfo.BuildDateCompact, ProgramInfo.BuildDate.substr(6, 4) +
                                                ProgramInfo.BuildDate.substr(3, 2) +
                                                ProgramInfo.BuildDate.substr(0, 2));
}
#endif

} // namespace
} // namespace glowkite

#include "about/fileUtil.h"

#include "about/BuildInfo.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <new>
#include <string>
#include <vector>

namespace glowkite {

TLblData ProgramInfo;

namespace {

constexpr std::uint32_t kPlaceholderStamp = 0x2A425E19;
constexpr std::uint32_t kPESignature = 0x00004550; // "PE\0\0"
constexpr std::size_t kHeaderSize = 248; // signature, file header, 224-byte optional header
constexpr std::size_t kSectionEntrySize = 40;

std::uint16_t U16(const unsigned char *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Reads up to `size` bytes at `pos`; returns how many were read, 0 when the
// position cannot be reached.
std::size_t ReadAt(std::ifstream &in, std::uint64_t pos, unsigned char *buffer, std::size_t size)
{
    in.clear();
    in.seekg(static_cast<std::streamoff>(pos));
    if (!in)
        return 0;
    in.read(reinterpret_cast<char *>(buffer), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount());
}

// The 248 header bytes found through the MS-DOS header (or at position 0),
// and where they start. False when the file is no PE file.
bool ReadPEHeader(std::ifstream &in, unsigned char (&header)[kHeaderSize], std::uint64_t &headerPos)
{
    unsigned char dos[64];
    headerPos = 0;
    if (ReadAt(in, 0, dos, sizeof dos) == sizeof dos && U16(dos) == 0x5A4D)
        headerPos = U32(dos + 0x3C);
    return ReadAt(in, headerPos, header, kHeaderSize) == kHeaderSize && U32(header) == kPESignature;
}

std::int64_t DaysFromCivil(std::int64_t y, int m, int d)
{
    // Days since 1970-01-01 in the proleptic Gregorian calendar.
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int &year, int &month, int &day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

} // namespace

bool DosDateTimeToFileTime(std::uint16_t dosDate, std::uint16_t dosTime, std::uint64_t &fileTime)
{
    const int year = 1980 + (dosDate >> 9);
    const int month = (dosDate >> 5) & 0x0F;
    const int day = dosDate & 0x1F;
    const int hour = dosTime >> 11;
    const int minute = (dosTime >> 5) & 0x3F;
    const int second = (dosTime & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    const std::int64_t days = DaysFromCivil(year, month, day) - DaysFromCivil(1601, 1, 1);
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    fileTime = static_cast<std::uint64_t>(seconds) * 10000000u;
    return true;
}

bool IsPEFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char header[kHeaderSize];
    std::uint64_t headerPos = 0;
    return in && ReadPEHeader(in, header, headerPos);
}

std::uint32_t ReadBuildTime(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return 0;
    unsigned char header[kHeaderSize];
    std::uint64_t headerPos = 0;
    if (!ReadPEHeader(in, header, headerPos))
        return 0;
    const std::uint32_t stamp = U32(header + 8);
    if (stamp != kPlaceholderStamp)
        return stamp;

    // Linkers that write the placeholder keep the real time in the resource directory.
    const std::uint16_t optionalSize = U16(header + 20);
    if (optionalSize < 224 || U16(header + 24) != 0x10B)
        return stamp;
    const std::size_t tableSize = std::size_t{U16(header + 6)} * kSectionEntrySize;
    std::vector<unsigned char> table;
    try {
        table.resize(tableSize);
    } catch (const std::bad_alloc &) {
        return stamp;
    }
    const std::uint64_t tablePos = headerPos + kHeaderSize + (optionalSize - 224u);
    if (ReadAt(in, tablePos, table.data(), tableSize) != tableSize)
        return stamp;

    // 64-bit sums: an address near 4 GB must not wrap into a false match.
    const std::uint64_t resourceAddress = U32(header + 0x88);
    const std::uint64_t resourceSize = U32(header + 0x8C);
    std::uint64_t resourcePos = 0;
    for (std::size_t offset = 0; offset < tableSize; offset += kSectionEntrySize) {
        const unsigned char *entry = table.data() + offset;
        const std::uint64_t virtualAddress = U32(entry + 12);
        const std::uint64_t rawSize = U32(entry + 16);
        const std::uint64_t rawPos = U32(entry + 20);
        if (resourceAddress >= virtualAddress &&
            virtualAddress + rawSize >= resourceAddress + resourceSize) {
            resourcePos = rawPos + (resourceAddress - virtualAddress);
            break;
        }
    }
    if (resourcePos == 0)
        return stamp;

    unsigned char directory[16];
    if (ReadAt(in, resourcePos, directory, sizeof directory) != sizeof directory)
        return stamp;
    const std::uint32_t dosStamp = U32(directory + 4);
    std::uint64_t fileTime = 0;
    if (!DosDateTimeToFileTime(static_cast<std::uint16_t>(dosStamp >> 16),
                               static_cast<std::uint16_t>(dosStamp & 0xFFFF), fileTime))
        return stamp;
    const std::int64_t unixSeconds =
        (static_cast<std::int64_t>(fileTime) - 116444736000000000LL) / 10000000;
    return static_cast<std::uint32_t>(unixSeconds);
}

TCalendarTime SecondsToDate(std::uint32_t seconds)
{
    const double days = seconds / 86400.0;
    const double whole = std::floor(days);
    TCalendarTime t;
    CivilFromDays(static_cast<std::int64_t>(whole), t.Year, t.Month, t.Day);
    // The fraction of the day, to the millisecond as the date-time type keeps it.
    const std::int64_t ms = std::llround((days - whole) * 86400000.0);
    t.Hour = static_cast<int>(ms / 3600000);
    t.Minute = static_cast<int>(ms / 60000 % 60);
    t.Second = static_cast<int>(ms / 1000 % 60);
    return t;
}

std::string FormatDate(const TCalendarTime &t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", t.Day, t.Month, t.Year);
    return text;
}

std::string FormatDateCompact(const TCalendarTime &t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d", t.Year, t.Month, t.Day);
    return text;
}

void InitProgramInfo(const std::string &exePath)
{
    ProgramInfo = TLblData{};
    std::uint32_t buildTime = 0;
    if (IsPEFile(exePath)) {
        ReadVersionInfo(exePath, ProgramInfo);
        buildTime = ReadBuildTime(exePath);
    } else {
        ProgramInfo.FixedVersion = kProgramVersion;
        ProgramInfo.FileVersion = kProgramVersion;
        ProgramInfo.LanguageName = "Deutsch (Deutschland)";
        buildTime = kBuildTime;
    }
    const TCalendarTime date = SecondsToDate(buildTime);
    ProgramInfo.BuildDate = FormatDate(date);
    ProgramInfo.BuildDateCompact = FormatDateCompact(date);
}

std::string VersionText()
{
    std::string text = ProgramInfo.FileVersion.empty() ? ProgramInfo.FixedVersion : ProgramInfo.FileVersion;
    if (!ProgramInfo.BuildDate.empty())
        text += " (built " + ProgramInfo.BuildDate + ")";
    return text;
}

} // namespace glowkite

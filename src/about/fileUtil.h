#pragma once
// fileUtil: the program's version and build date, gathered once at start-up
// from the program file (its version resource and the build time stamped
// into a Portable Executable file) into ProgramInfo.

#include <cstdint>
#include <string>

namespace glowkite {

// Program information; a text whose source is missing stays empty.
struct TLblData {
    std::string FixedVersion;     // "%d.%d.%d.%d" from the fixed version block
    std::string FileVersion;      // string table of the first translation
    std::string FileDescription;  //   likewise
    std::string LegalCopyright;   //   likewise
    std::string LanguageName;     // display name of the first translation's language
    std::string BuildDate;        // "dd.mm.yyyy"
    std::string BuildDateCompact; // "yyyymmdd"
};

extern TLblData ProgramInfo;

// Start-up: fills ProgramInfo for the program file at exePath. A PE file is
// read (version resource where the platform offers one, build time from the
// file); any other program file (an ELF build) takes the version and build
// date compiled into this library.
void InitProgramInfo(const std::string &exePath);

// "1.0.2.4 (built 09.12.2026)" from ProgramInfo, for --version.
std::string VersionText();

// Fields 1 to 5 from the file's version resource through the Windows version
// API. Where there is no such API, there is nothing to read: `data` stays.
void ReadVersionInfo(const std::string &path, TLblData &data);

// The build time of a PE file in seconds since 1970-01-01: the file header's
// time stamp, or for the placeholder stamp 0x2A425E19 the time in the
// resource directory. 0 for a file that cannot be opened or is no PE file;
// 0x2A425E19 when the resource directory cannot be read.
std::uint32_t ReadBuildTime(const std::string &path);

// True when the file starts like a PE file ("MZ" and a "PE" signature, or the
// signature at position 0).
bool IsPEFile(const std::string &path);

struct TCalendarTime {
    int Year = 1970, Month = 1, Day = 1;
    int Hour = 0, Minute = 0, Second = 0;
};

// 1970-01-01 00:00 plus `seconds`, counted in days as seconds / 86400 in
// double precision; no time-zone conversion.
TCalendarTime SecondsToDate(std::uint32_t seconds);

std::string FormatDate(const TCalendarTime &t);        // "dd.mm.yyyy"
std::string FormatDateCompact(const TCalendarTime &t); // "yyyymmdd"

// A packed MS-DOS date and time as a file time (100 ns units since
// 1601-01-01, no time-zone conversion). False for a date or time that does
// not exist (month 0 or 13, 30 February, hour 24, minute 60, second 60 ...).
bool DosDateTimeToFileTime(std::uint16_t dosDate, std::uint16_t dosTime, std::uint64_t &fileTime);

} // namespace glowkite

// The build-time reader on arbitrary files.
//
// Input: the content of the program file.
//
// Checked: ReadBuildTime gives exactly what the documented steps give when
// they are worked through on the bytes in memory, where every read is
// bounded by the file: 0 for a file that is no PE file, the header stamp
// when it is not the placeholder 0x2A425E19, the placeholder when the
// resource directory cannot be found, read or converted, and otherwise the
// resource directory's MS-DOS time. A file that is no PE file gives 0; the
// dates made from any result have their fixed lengths.

#include "FuzzSupport.h"

#include "about/fileUtil.h"

#include <chrono>
#include <optional>
#include <span>

using namespace glowkite;

namespace {

constexpr std::uint32_t kPlaceholder = 0x2A425E19;

// Little-endian fields of the file; nothing where the field runs past its end.
struct Bytes {
    std::span<const std::uint8_t> file;

    bool Has(std::uint64_t pos, std::uint64_t n) const { return pos <= file.size() && n <= file.size() - pos; }
    std::uint32_t U16(std::uint64_t pos) const { return file[pos] | file[pos + 1] << 8; }
    std::uint32_t U32(std::uint64_t pos) const
    {
        return U16(pos) | static_cast<std::uint32_t>(U16(pos + 2)) << 16;
    }
};

std::optional<std::uint32_t> DosTimeToUnix(std::uint32_t stamp)
{
    using namespace std::chrono;
    const std::uint32_t date = stamp >> 16, time = stamp & 0xFFFF;
    const year_month_day ymd{year{1980 + static_cast<int>(date >> 9)}, month{(date >> 5) & 0x0F}, day{date & 0x1F}};
    const std::uint32_t h = time >> 11, m = (time >> 5) & 0x3F, s = (time & 0x1F) * 2;
    if (!ymd.ok() || h > 23 || m > 59 || s > 59)
        return std::nullopt;
    const auto t = sys_days(ymd).time_since_epoch() + hours(h) + minutes(m) + seconds(s);
    return static_cast<std::uint32_t>(duration_cast<seconds>(t).count());
}

std::uint32_t ExpectedBuildTime(const Bytes &f)
{
    std::uint64_t headerPos = 0;
    if (f.Has(0, 64) && f.U16(0) == 0x5A4D)
        headerPos = f.U32(0x3C);
    if (!f.Has(headerPos, 248) || f.U32(headerPos) != 0x00004550)
        return 0;
    const std::uint64_t h = headerPos;
    const std::uint32_t stamp = f.U32(h + 8);
    if (stamp != kPlaceholder)
        return stamp;
    const std::uint32_t optionalSize = f.U16(h + 20);
    if (optionalSize < 224 || f.U16(h + 24) != 0x10B)
        return stamp;
    const std::uint64_t sections = f.U16(h + 6);
    const std::uint64_t table = h + 248 + (optionalSize - 224);
    if (!f.Has(table, sections * 40))
        return stamp;
    const std::uint64_t address = f.U32(h + 0x88), size = f.U32(h + 0x8C);
    std::uint64_t pos = 0;
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint64_t e = table + 40 * i;
        const std::uint64_t virtualAddress = f.U32(e + 12), rawSize = f.U32(e + 16), rawPos = f.U32(e + 20);
        if (address >= virtualAddress && virtualAddress + rawSize >= address + size) {
            pos = rawPos + (address - virtualAddress);
            break;
        }
    }
    if (pos == 0 || !f.Has(pos, 16))
        return stamp;
    return DosTimeToUnix(f.U32(pos + 4)).value_or(stamp);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const fuzz::TMemFile file;
    file.Set(std::string_view(reinterpret_cast<const char *>(data), size));

    const std::uint32_t result = ReadBuildTime(file.Path());
    const std::uint32_t expected = ExpectedBuildTime(Bytes{{data, size}});
    FUZZ_CHECK(result == expected, "build time " + std::to_string(result) + ", documented " + std::to_string(expected));
    FUZZ_CHECK(result == 0 || IsPEFile(file.Path()), "a file that is no PE file gave a build time");

    const TCalendarTime date = SecondsToDate(result);
    const std::string text = FormatDate(date), compact = FormatDateCompact(date);
    FUZZ_CHECK(text.size() == 10 && compact.size() == 8 && date.Year >= 1970 && date.Year <= 2106,
               "build date " + text + " / " + compact);
    FUZZ_CHECK(compact == text.substr(6, 4) + text.substr(3, 2) + text.substr(0, 2), "dates disagree: " + text);
    return 0;
}

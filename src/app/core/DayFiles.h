#pragma once
// Which days have a stored day file: the bold days of the month calendar,
// and the day a day file's name stands for. Qt-free.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace glowkite {

struct TDay {
    int year = 0;  // four digits
    int month = 0; // 1..12
    int day = 0;   // 1..31
    friend bool operator==(const TDay &, const TDay &) = default;
};

// Whether a day file exists for that day. Asked for days 29 to 31 of every
// month too, whatever its length.
using TDayFileExists = std::function<bool(const TDay &)>;

// Whether path is a day file: a regular file (following a link). A FIFO, a
// folder or a device named like a day file is none.
bool IsDayFile(const std::string &path);

// The bold-day mask of a month: bit d - 1 set when day d has a day file.
std::uint32_t MonthCalendarGetMonthInfo(unsigned month, unsigned year, const TDayFileExists &exists);

// The day of a file named ..._yymmdd.<ext> (any folder, any base name; the
// year taken as 20yy), or none when the name carries no valid date.
std::optional<TDay> DayOfFileName(std::string_view path);

// The day of a date text "dd.mm.yyyy" (a measurement label's first ten
// characters), or none.
std::optional<TDay> DayOfDateText(std::string_view text);

} // namespace glowkite

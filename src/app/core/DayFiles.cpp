#include "app/core/DayFiles.h"

#include <chrono>
#include <filesystem>

namespace glowkite {

namespace {

// The number of n decimal digits at text[pos], or -1.
int Digits(std::string_view text, std::size_t pos, std::size_t n)
{
    if (pos + n > text.size())
        return -1;
    int value = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::optional<TDay> ValidDay(int year, int month, int day)
{
    if (year < 0 || month < 0 || day < 0)
        return std::nullopt;
    const std::chrono::year_month_day ymd{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                          std::chrono::day(static_cast<unsigned>(day))};
    if (!ymd.ok())
        return std::nullopt;
    return TDay{year, month, day};
}

} // namespace

bool IsDayFile(const std::string &path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::uint32_t MonthCalendarGetMonthInfo(unsigned month, unsigned year, const TDayFileExists &exists)
{
    std::uint32_t mask = 0;
    for (int d = 1; d <= 31; ++d)
        if (exists(TDay{static_cast<int>(year), static_cast<int>(month), d}))
            mask |= 1u << (d - 1);
    return mask;
}

std::optional<TDay> DayOfFileName(std::string_view path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    const std::string_view stem = name.substr(0, dot);
    if (stem.size() < 7 || stem[stem.size() - 7] != '_')
        return std::nullopt;
    const std::size_t at = stem.size() - 6;
    const int yy = Digits(stem, at, 2);
    if (yy < 0)
        return std::nullopt;
    return ValidDay(2000 + yy, Digits(stem, at + 2, 2), Digits(stem, at + 4, 2));
}

std::optional<TDay> DayOfDateText(std::string_view text)
{
    if (text.size() < 10 || text[2] != '.' || text[5] != '.')
        return std::nullopt;
    return ValidDay(Digits(text, 6, 4), Digits(text, 3, 2), Digits(text, 0, 2));
}

} // namespace glowkite

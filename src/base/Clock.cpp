#include "base/Clock.h"

#include <cstdio>
#include <ctime>

namespace glowkite {

LocalTime SystemClock()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    localtime_r(&now.tv_sec, &parts);
    LocalTime t;
    t.year = parts.tm_year + 1900;
    t.month = parts.tm_mon + 1;
    t.day = parts.tm_mday;
    t.hour = parts.tm_hour;
    t.minute = parts.tm_min;
    // A leap second (tm_sec 60) would make the text one second past the minute.
    t.second = parts.tm_sec > 59 ? 59 : parts.tm_sec;
    t.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return t;
}

std::string DateTimeText(const LocalTime &t)
{
    // The year is cut to four digits so that the text keeps its 19 columns.
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", t.day % 100, t.month % 100,
                  t.year % 10000, t.hour % 100, t.minute % 100, t.second % 100);
    return text;
}

} // namespace glowkite

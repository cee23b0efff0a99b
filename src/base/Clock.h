#pragma once
// The local clock, injectable so that tests can cross midnight and month ends.

#include <chrono>
#include <functional>
#include <string>

namespace glowkite {

struct LocalTime {
    int year = 1970;
    int month = 1;        // 1..12
    int day = 1;          // 1..31
    int hour = 0;         // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0;  // 0..999
};

using Clock = std::function<LocalTime()>;

// Reads the local wall clock.
LocalTime SystemClock();

// Elapsed time, for time-outs and rates: the wall clock may jump (daylight
// saving time, a clock set by hand) and must not fake or hide a silence.
using SteadyTime = std::chrono::steady_clock::time_point;
using SteadyClock = std::function<SteadyTime()>;
inline SteadyTime SteadyNow() { return std::chrono::steady_clock::now(); }

// "dd.mm.yyyy hh:nn:ss": always these 19 characters, also at midnight and
// under any locale, because stored lines are read back by column.
std::string DateTimeText(const LocalTime &t);

} // namespace glowkite

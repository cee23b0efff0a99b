#include "base/Clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace glowkite {
namespace {

TEST(DateTimeTextTest, AlwaysNineteenColumnsAlsoAtMidnight)
{
    EXPECT_EQ(DateTimeText(LocalTime{2012, 3, 5, 14, 7, 9, 123}), "05.03.2012 14:07:09");
    EXPECT_EQ(DateTimeText(LocalTime{2012, 1, 1, 0, 0, 0, 0}), "01.01.2012 00:00:00");
    EXPECT_EQ(DateTimeText(LocalTime{999, 12, 31, 23, 59, 59, 999}), "31.12.0999 23:59:59");
}

TEST(SystemClockTest, ReadsTheLocalWallClock)
{
    std::time_t before = std::time(nullptr);
    LocalTime t = SystemClock();
    std::tm parts{};
    localtime_r(&before, &parts);
    // Allow for the clock moving on between the two readings.
    std::tm read{};
    read.tm_year = t.year - 1900;
    read.tm_mon = t.month - 1;
    read.tm_mday = t.day;
    read.tm_hour = t.hour;
    read.tm_min = t.minute;
    read.tm_sec = t.second;
    read.tm_isdst = -1;
    double difference = std::difftime(std::mktime(&read), before);
    EXPECT_GE(difference, 0);
    EXPECT_LE(difference, 2);
    EXPECT_GE(t.millisecond, 0);
    EXPECT_LE(t.millisecond, 999);
}

} // namespace
} // namespace glowkite

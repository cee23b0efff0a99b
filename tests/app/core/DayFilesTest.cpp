#include "app/core/DayFiles.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

using namespace glowkite;

namespace {

TDayFileExists DaysWithFiles(std::set<std::tuple<int, int, int>> days, std::vector<TDay> *asked = nullptr)
{
    return [days = std::move(days), asked](const TDay &d) {
        if (asked)
            asked->push_back(d);
        return days.count({d.year, d.month, d.day}) > 0;
    };
}

} // namespace

TEST(MonthCalendarGetMonthInfo, BitDMinusOneForEachDayWithAFile)
{
    const auto exists = DaysWithFiles({{2012, 3, 3}, {2012, 3, 17}, {2012, 4, 1}, {2011, 3, 5}});
    EXPECT_EQ(MonthCalendarGetMonthInfo(3, 2012, exists), 0x10004u);
    EXPECT_EQ(MonthCalendarGetMonthInfo(4, 2012, exists), 0x1u);
    EXPECT_EQ(MonthCalendarGetMonthInfo(5, 2012, exists), 0u);

    const auto all = DaysWithFiles({{2012, 1, 1}, {2012, 1, 31}});
    EXPECT_EQ(MonthCalendarGetMonthInfo(1, 2012, all), 0x40000001u);
}

TEST(MonthCalendarGetMonthInfo, Days29To31AreAskedForInEveryMonth)
{
    std::vector<TDay> asked;
    EXPECT_EQ(MonthCalendarGetMonthInfo(2, 2013, DaysWithFiles({}, &asked)), 0u);
    ASSERT_EQ(asked.size(), 31u);
    EXPECT_EQ(asked.front(), (TDay{2013, 2, 1}));
    EXPECT_EQ(asked.back(), (TDay{2013, 2, 31}));
}

TEST(DayOfFileName, TheDateOfAStoredDay)
{
    EXPECT_EQ(DayOfFileName("/home/u/LOG/glowkite_120305.glow"), (TDay{2012, 3, 5}));
    EXPECT_EQ(DayOfFileName("glowkite_991231.glow"), (TDay{2099, 12, 31}));
    EXPECT_EQ(DayOfFileName("/a_b/other_240229.txt"), (TDay{2024, 2, 29}));
    EXPECT_EQ(DayOfFileName("glowkite_120305"), (TDay{2012, 3, 5}));
}

TEST(DayOfFileName, NoDayForOtherNames)
{
    for (const char *name : {"glowkite_1203.log", "glowkite_230229.glow", "glowkite_121305.glow",
                             "glowkite_120300.glow", "glowkite_12a305.glow", "glowkite120305.glow",
                             "/x/glowkite_120305.d/file", "", "_120305x.glow"})
        EXPECT_FALSE(DayOfFileName(name)) << name;
}

TEST(DayOfDateText, TheDayOfALabel)
{
    EXPECT_EQ(DayOfDateText("05.03.2012 14:07:09"), (TDay{2012, 3, 5}));
    EXPECT_EQ(DayOfDateText("29.02.2012"), (TDay{2012, 2, 29}));
    EXPECT_FALSE(DayOfDateText("29.02.2013"));
    EXPECT_FALSE(DayOfDateText("5.3.2012"));
    EXPECT_FALSE(DayOfDateText(""));
    EXPECT_FALSE(DayOfDateText("05-03-2012"));
}

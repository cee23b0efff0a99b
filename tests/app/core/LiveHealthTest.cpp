#include "app/core/LiveHealth.h"

#include <gtest/gtest.h>

#include <vector>

using namespace glowkite;
using namespace std::chrono_literals;

namespace {

struct Rig : ILiveHealthEvents {
    SteadyTime now{std::chrono::hours(1000)};
    TLiveHealth health{*this, [this] { return now; }};
    TRxCounters rx;
    TSerLineErrors line;
    std::vector<int> began;
    std::vector<double> ended;

    void SilenceBegan(int timeout) override { began.push_back(timeout); }
    void SilenceEnded(double seconds) override { ended.push_back(seconds); }

    // `seconds` pass in ticks of 250 ms, `perTick` frames arriving in each.
    void Run(double seconds, int perTick = 0)
    {
        for (int i = 0; i < static_cast<int>(seconds * 4 + 0.5); ++i) {
            now += 250ms;
            rx.frames += perTick;
            health.Update(rx, line);
        }
    }
};

} // namespace

TEST(LiveHealth, SilenceAfterFramesIsSeenAtTheTimeOutOnceAndItsEndWithItsLength)
{
    Rig r;
    r.health.Start(r.rx);
    r.health.Watch(true);
    r.Run(3, 36); // 144 frames a second
    EXPECT_FALSE(r.health.Silent());
    r.Run(4.75);
    EXPECT_FALSE(r.health.Silent()) << "4.75 s without a frame is below the 5 s time-out";
    r.Run(0.25);
    EXPECT_TRUE(r.health.Silent());
    EXPECT_EQ(r.began, (std::vector<int>{5}));
    r.Run(30);
    EXPECT_EQ(r.began.size(), 1u) << "told once per silence";
    EXPECT_TRUE(r.ended.empty());
    EXPECT_EQ(r.health.Figures().framesPerSecond, 0.0);
    EXPECT_DOUBLE_EQ(r.health.SilentSeconds(), 35.0);

    r.Run(0.25, 36);
    EXPECT_FALSE(r.health.Silent());
    ASSERT_EQ(r.ended.size(), 1u);
    EXPECT_DOUBLE_EQ(r.ended[0], 35.25);
    EXPECT_EQ(r.health.Silences(), 1);

    // A second silence, ended by Stop: counted, no return told.
    r.Run(6);
    EXPECT_EQ(r.began.size(), 2u);
    r.health.Watch(false);
    EXPECT_FALSE(r.health.Silent());
    EXPECT_EQ(r.ended.size(), 1u);
    EXPECT_EQ(r.health.Silences(), 2);
    EXPECT_DOUBLE_EQ(r.health.SilentSeconds(), 35.25 + 6.0);
    r.Run(60);
    EXPECT_EQ(r.began.size(), 2u) << "no silence while frames are not expected";
}

TEST(LiveHealth, ASilenceRightAfterStartCountsFromWhenFramesCouldCome)
{
    Rig r;
    r.Run(100); // before Start nothing is watched
    r.health.Start(r.rx);
    r.health.Watch(true);
    r.Run(4.75);
    EXPECT_TRUE(r.began.empty());
    r.Run(0.25);
    EXPECT_EQ(r.began, (std::vector<int>{5}));

    // The port goes away and comes back: the clock starts afresh.
    r.health.Watch(false);
    r.Run(20);
    r.health.Watch(true);
    r.Run(4.75);
    EXPECT_EQ(r.began.size(), 1u);
    r.Run(0.25);
    EXPECT_EQ(r.began.size(), 2u);
}

TEST(LiveHealth, TheTimeOutAndItsOddValues)
{
    EXPECT_EQ(EffectiveDatenTimeout(1), 1);
    EXPECT_EQ(EffectiveDatenTimeout(120), 120);
    EXPECT_EQ(EffectiveDatenTimeout(0), 5);
    EXPECT_EQ(EffectiveDatenTimeout(-7), 5);
    for (const int setting : {1, 0, -3}) {
        Rig r;
        r.health.DatenTimeout = setting;
        r.health.Start(r.rx);
        r.health.Watch(true);
        const int expected = EffectiveDatenTimeout(setting);
        r.Run(expected - 0.25);
        EXPECT_TRUE(r.began.empty()) << setting;
        r.Run(0.25);
        EXPECT_EQ(r.began, (std::vector<int>{expected})) << setting;
    }
}

TEST(LiveHealth, FiguresFollowTheLastSecondsAndCountFromStart)
{
    Rig r;
    r.rx.droppedBytes = 40; // before this recording
    r.health.Start(r.rx);
    r.health.Watch(true);
    r.Run(10, 25); // 100 frames a second
    EXPECT_DOUBLE_EQ(r.health.Figures().framesPerSecond, 100.0);
    r.Run(2, 5); // 20 a second for the last 2 of 5 s: (3 * 100 + 2 * 20) / 5
    EXPECT_DOUBLE_EQ(r.health.Figures().framesPerSecond, 68.0);

    // A burst before the first look after Start counts.
    r.health.Start(r.rx);
    r.rx.frames += 100;
    r.Run(0.5);
    EXPECT_DOUBLE_EQ(r.health.Figures().framesPerSecond, 200.0);

    r.rx.droppedBytes = 52;
    r.line = {true, 2, 1, 3, 0};
    r.Run(0.25, 5);
    EXPECT_EQ(r.health.Figures().droppedBytes, 12);
    EXPECT_TRUE(r.health.Figures().lineErrors.Counted);
    EXPECT_EQ(r.health.Figures().lineErrors.Total(), 6u);

    // A reconnect starts the port's counters from zero; Start's total stays.
    r.line = {};
    r.Run(0.25, 5);
    r.line = {true, 1, 0, 0, 1};
    r.Run(0.25, 5);
    const TSerLineErrors &e = r.health.Figures().lineErrors;
    EXPECT_EQ(e.Framing, 3u);
    EXPECT_EQ(e.Parity, 1u);
    EXPECT_EQ(e.Overrun, 3u);
    EXPECT_EQ(e.Break, 1u);

    // A new Start counts from there.
    r.health.Start(r.rx);
    r.line = {};
    r.Run(0.25, 5);
    EXPECT_EQ(r.health.Figures().droppedBytes, 0);
    EXPECT_EQ(r.health.Figures().lineErrors.Total(), 0u);
    EXPECT_FALSE(r.health.Figures().lineErrors.Counted) << "a pseudo-terminal counts none";
}

TEST(LiveHealth, PaneLines)
{
    EXPECT_EQ(SilenceBeganLine("05.03.2012 14:07:09", 5), "05.03.2012 14:07:09  keine Daten seit 5 s");
    EXPECT_EQ(SilenceEndedLine("05.03.2012 14:07:42", 33.4), "05.03.2012 14:07:42  Daten wieder empfangen nach 33 s");
}

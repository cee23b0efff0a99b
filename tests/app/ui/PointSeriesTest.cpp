#include "app/ui/PointSeries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using namespace glowkite;

namespace {

// A day-like AQ series: noise about 20 with single-point spikes up and
// down, some clamped (drawn in the accent colour).
struct SpikySeries {
    explicit SpikySeries(int n) : series(clAQ)
    {
        std::mt19937 rng(3);
        for (int i = 0; i < n; ++i) {
            double v = 18 + static_cast<int>(rng() % 5);
            TColor c = clAQ;
            if (rng() % 20000 == 0) {
                v = (spikes.size() % 2) ? 0 : 119;
                if (v == 119)
                    c = clAQClamped;
                spikes.push_back(i);
            }
            series.Append(v, "", c);
        }
    }
    TPointSeries series;
    std::vector<int> spikes;
};

TEST(PointSeriesTest, EveryColumnKeepsItsLeastAndGreatestValueSoNoSpikeIsLost)
{
    SpikySeries s(1 << 20);
    ASSERT_GT(s.spikes.size(), 20u);
    const double n = s.series.Count();
    TDrawing d;
    for (double columns : {300.0, 1000.0, 1900.0, 20000.0, 200000.0}) {
        const double kpc = n / columns;
        s.series.Draw(0, n - 1, kpc, d);
        EXPECT_FALSE(d.everyPoint);
        EXPECT_LE(d.line.size(), static_cast<std::size_t>(2 * columns + 8)) << "about one column per pixel";
        for (int spike : s.spikes) {
            const double v = s.series.Value(spike);
            const bool found = std::any_of(d.line.begin(), d.line.end(), [&](const TDrawPoint &p) {
                return p.value == v && std::abs(p.key - spike) <= 2 * kpc;
            });
            EXPECT_TRUE(found) << "spike at " << spike << " with " << columns << " columns";
            if (v == 119) {
                const bool accent = std::any_of(d.accents.begin(), d.accents.end(), [&](const TDrawAccent &a) {
                    return a.color == clAQClamped && a.value1 == 119 && std::abs(a.key0 - spike) <= 2 * kpc;
                });
                EXPECT_TRUE(accent) << "clamped spike at " << spike << " keeps its colour";
            }
        }
        // Nothing drawn outside the values held.
        for (const TDrawPoint &p : d.line)
            EXPECT_TRUE(p.value >= 0 && p.value <= 119) << p.value;
        // A zoomed view of the middle sees the spikes in it as well.
        const int mid = s.spikes[s.spikes.size() / 2];
        s.series.Draw(mid - 5000, mid + 5000, 10000 / 900.0, d);
        EXPECT_TRUE(std::any_of(d.line.begin(), d.line.end(),
                                [&](const TDrawPoint &p) { return p.value == s.series.Value(mid); }));
    }
}

TEST(PointSeriesTest, ZoomedInFarEnoughEveryPointIsDrawnWithItsColour)
{
    SpikySeries s(100000);
    const int spike = s.spikes.front();
    TDrawing d;
    s.series.Draw(spike - 300, spike + 300, 600.0 / 800.0, d);
    ASSERT_TRUE(d.everyPoint);
    ASSERT_EQ(d.line.size(), 603u) << "the range and one neighbour on each side";
    for (std::size_t k = 0; k < d.line.size(); ++k) {
        const double key = spike - 301 + static_cast<double>(k);
        EXPECT_EQ(d.line[k].key, key);
        EXPECT_EQ(d.line[k].value, s.series.Value(static_cast<std::size_t>(key)));
    }
    // Accents are exactly the segments that lead to clamped points.
    for (const TDrawAccent &a : d.accents) {
        EXPECT_EQ(s.series.Color(static_cast<std::size_t>(a.key1)), clAQClamped);
        EXPECT_EQ(a.key0, a.key1 - 1);
        EXPECT_EQ(a.value0, s.series.Value(static_cast<std::size_t>(a.key0)));
    }
}

TEST(PointSeriesTest, ValuesLabelsAndColoursComeBackAsAppended)
{
    TPointSeries s(clXPos);
    const std::vector<double> values{0, 5, -13, 150, 7.0 / 115 * 5, -400.0 / 400 * 5, 0.25, 1e300, -0.0};
    for (std::size_t i = 0; i < values.size(); ++i)
        s.Append(values[i], i < 3 ? "05.03.2012 14:07:09" : "", i == 4 ? TColor{1, 2, 3} : clXPos);
    ASSERT_EQ(s.Count(), static_cast<int>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(s.Value(i), values[i]) << "exact, not rounded to a float: " << i;
        EXPECT_EQ(std::signbit(s.Value(i)), std::signbit(values[i])) << i;
    }
    EXPECT_EQ(s.Label(2), "05.03.2012 14:07:09");
    EXPECT_EQ(s.Label(3), "");
    EXPECT_EQ(s.FindLabel("05.03.2012 14:07:09"), 0);
    EXPECT_EQ(s.Color(4), (TColor{1, 2, 3}));
    EXPECT_EQ(s.Color(5), clXPos);
    EXPECT_EQ(s.AccentPointCount(TColor{1, 2, 3}), 1);
    double lo = 0, hi = 0;
    ASSERT_TRUE(s.ValueRange(lo, hi));
    EXPECT_EQ(lo, -13);
    EXPECT_EQ(hi, 1e300);

    s.Clear();
    EXPECT_EQ(s.Count(), 0);
    EXPECT_FALSE(s.ValueRange(lo, hi));
    s.Append(3, "x", clXPos);
    EXPECT_EQ(s.Value(0), 3);
    EXPECT_EQ(s.Label(0), "x");
}

} // namespace

namespace {

// Each column of a drawing at a level's own width against the points it
// covers, counted out directly: rising and falling runs (every point widens
// the column so far), flat stretches, gaps (NaN) and accent points.
TEST(PointSeriesTest, EveryLevelHoldsExactlyTheLeastAndGreatestOfItsPoints)
{
    std::mt19937 rng(11);
    TPointSeries series(clAQ);
    std::vector<double> values;
    std::vector<bool> accent;
    double v = 50;
    for (int i = 0; i < 300007; ++i) {
        const int phase = (i / 5000) % 4;
        if (phase == 0)
            v += 0.25; // a ramp up: each point a new greatest value
        else if (phase == 1)
            v -= 0.25;
        else if (phase == 2)
            v = 40 + static_cast<double>(rng() % 3);
        double value = rng() % 997 == 0 ? std::nan("") : v;
        const bool a = rng() % 301 == 0;
        series.Append(value, "", a ? clAQClamped : clAQ);
        values.push_back(value);
        accent.push_back(a);
    }
    const auto n = static_cast<std::int64_t>(values.size());
    TDrawing d;
    for (int level = 0; level < 8; ++level) {
        const double kpc = static_cast<double>(64 << level);
        series.Draw(0, static_cast<double>(n - 1), kpc, d);
        ASSERT_FALSE(d.everyPoint);
        for (std::int64_t c = 0; c * static_cast<std::int64_t>(kpc) < n; ++c) {
            const std::int64_t first = c * static_cast<std::int64_t>(kpc);
            const std::int64_t end = std::min(n, first + static_cast<std::int64_t>(kpc));
            double lo = INFINITY, hi = -INFINITY, accLo = INFINITY, accHi = -INFINITY;
            for (std::int64_t i = first; i < end; ++i) {
                const double x = values[static_cast<std::size_t>(i)];
                if (!std::isnan(x)) {
                    lo = std::min(lo, x);
                    hi = std::max(hi, x);
                }
                if (accent[static_cast<std::size_t>(i)]) {
                    for (double y : {x, values[static_cast<std::size_t>(i > 0 ? i - 1 : 0)]}) {
                        if (!std::isnan(y)) {
                            accLo = std::min(accLo, y);
                            accHi = std::max(accHi, y);
                        }
                    }
                }
            }
            const double key = std::min(static_cast<double>(n - 1), (static_cast<double>(c) + 0.5) * kpc);
            double drawnLo = INFINITY, drawnHi = -INFINITY;
            for (const TDrawPoint &p : d.line)
                if (p.key == key && !std::isnan(p.value)) {
                    drawnLo = std::min(drawnLo, p.value);
                    drawnHi = std::max(drawnHi, p.value);
                }
            ASSERT_EQ(drawnLo, static_cast<double>(static_cast<float>(lo))) << "level " << level << " column " << c;
            ASSERT_EQ(drawnHi, static_cast<double>(static_cast<float>(hi))) << "level " << level << " column " << c;
            double drawnAccLo = INFINITY, drawnAccHi = -INFINITY;
            for (const TDrawAccent &a : d.accents)
                if (a.key0 == key) {
                    drawnAccLo = std::min({drawnAccLo, a.value0, a.value1});
                    drawnAccHi = std::max({drawnAccHi, a.value0, a.value1});
                }
            ASSERT_EQ(drawnAccLo, accLo == INFINITY ? INFINITY : static_cast<double>(static_cast<float>(accLo)))
                << "level " << level << " column " << c;
            ASSERT_EQ(drawnAccHi, accHi == -INFINITY ? -INFINITY : static_cast<double>(static_cast<float>(accHi)))
                << "level " << level << " column " << c;
        }
    }
}

} // namespace

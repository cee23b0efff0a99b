#include "gui/WindowPlacement.h"

#include <gtest/gtest.h>

#include <climits>

using namespace glowkite;

namespace {

const QSize Minimum(320, 240);
const std::vector<QRect> OneScreen{QRect(0, 0, 1024, 768)};
// The second screen stands right of the first and lower; its panel takes 30 px at the top.
const std::vector<QRect> TwoScreens{QRect(0, 0, 1024, 768), QRect(1024, 130, 1280, 994)};

TEST(FitToScreens, BoundsThatFitStayAsStored)
{
    EXPECT_EQ(FitToScreens({0, 0, 640, 480}, OneScreen, Minimum), QRect(0, 0, 640, 480));
    EXPECT_EQ(FitToScreens({100, 50, 700, 560}, OneScreen, Minimum), QRect(100, 50, 700, 560));
    EXPECT_EQ(FitToScreens({1100, 200, 800, 600}, TwoScreens, Minimum), QRect(1100, 200, 800, 600));
    // A window the size of the screen (closed maximised) fits exactly.
    EXPECT_EQ(FitToScreens({0, 0, 1024, 768}, OneScreen, Minimum), QRect(0, 0, 1024, 768));
}

TEST(FitToScreens, APositionNoScreenShowsIsMovedOntoTheScreen)
{
    EXPECT_EQ(FitToScreens({5000, 4000, 640, 480}, OneScreen, Minimum), QRect(384, 288, 640, 480));
    EXPECT_EQ(FitToScreens({-3000, -20, 640, 480}, OneScreen, Minimum), QRect(0, 0, 640, 480));
    // Mostly above the second screen: the screen that shows a part of it decides.
    EXPECT_EQ(FitToScreens({1100, 100, 300, 100}, TwoScreens, Minimum).topLeft(), QPoint(1100, 130));
    // Shown by no screen: onto the primary one.
    EXPECT_EQ(FitToScreens({3000, 0, 640, 480}, TwoScreens, Minimum), QRect(384, 0, 640, 480));
    // Half off the right edge: pulled in so the status bar and the frame are whole.
    EXPECT_EQ(FitToScreens({800, 600, 640, 480}, OneScreen, Minimum), QRect(384, 288, 640, 480));
}

TEST(FitToScreens, ASizeLargerThanTheScreenIsCutToIt)
{
    EXPECT_EQ(FitToScreens({0, 0, 3000, 2000}, OneScreen, Minimum), QRect(0, 0, 1024, 768));
    EXPECT_EQ(FitToScreens({1500, 500, 3000, 2000}, TwoScreens, Minimum), QRect(1024, 130, 1280, 994));
    // A screen smaller than the window's minimum: the screen wins.
    EXPECT_EQ(FitToScreens({0, 0, 640, 480}, {QRect(0, 0, 300, 200)}, Minimum), QRect(0, 0, 300, 200));
}

TEST(FitToScreens, TooSmallOrNegativeSizesGetTheMinimum)
{
    EXPECT_EQ(FitToScreens({10, 10, 0, 0}, OneScreen, Minimum), QRect(10, 10, 320, 240));
    EXPECT_EQ(FitToScreens({10, 10, -640, 480}, OneScreen, Minimum), QRect(10, 10, 320, 480));
}

TEST(FitToScreens, ExtremeValuesNeitherOverflowNorEscapeTheScreen)
{
    const std::int64_t max = INT_MAX, min = INT_MIN;
    for (const TStoredBounds &b : {TStoredBounds{0, 0, max, 480}, TStoredBounds{0, 0, min, max},
                                   TStoredBounds{max, max, max, max}, TStoredBounds{min, min, min, min},
                                   TStoredBounds{max, min, 640, 480}, TStoredBounds{min, 0, max, max}}) {
        for (const auto &screens : {OneScreen, TwoScreens}) {
            const QRect r = FitToScreens(b, screens, Minimum);
            bool onAScreen = false;
            for (const QRect &s : screens)
                onAScreen = onAScreen || s.contains(r);
            EXPECT_TRUE(onAScreen) << b.Left << "," << b.Top << " " << b.Width << "x" << b.Height;
            EXPECT_GE(r.width(), Minimum.width());
            EXPECT_GE(r.height(), Minimum.height());
        }
        const QRect bare = FitToScreens(b, {}, Minimum);
        EXPECT_LE(bare.width(), 16384);
        EXPECT_LE(std::abs(bare.left()), 16384);
    }
    EXPECT_EQ(FitToScreens({0, 0, max, 480}, OneScreen, Minimum), QRect(0, 0, 1024, 480));
}

TEST(FitSplitterSizes, WantedSizesAndTheRestForTheLastPane)
{
    EXPECT_EQ(FitSplitterSizes(640, 3, {225, 230}), (QList<int>{225, 230, 179}));
    EXPECT_EQ(FitSplitterSizes(400, 3, {300}), (QList<int>{300, 97}));
}

TEST(FitSplitterSizes, TooLargeWantsLeaveEveryPaneAPixel)
{
    EXPECT_EQ(FitSplitterSizes(640, 3, {225, INT_MAX}), (QList<int>{225, 408, 1}));
    EXPECT_EQ(FitSplitterSizes(640, 3, {INT_MAX, 230}), (QList<int>{632, 1, 1}));
    EXPECT_EQ(FitSplitterSizes(400, 3, {std::int64_t(INT_MAX) * 4}), (QList<int>{396, 1}));
    EXPECT_EQ(FitSplitterSizes(640, 3, {INT_MIN, INT_MIN}), (QList<int>{1, 1, 632}));
    // No room at all (a window not laid out yet): still no negative size.
    EXPECT_EQ(FitSplitterSizes(0, 3, {225, 230}), (QList<int>{1, 1, 1}));
    EXPECT_EQ(FitSplitterSizes(INT_MAX, INT_MAX, {INT_MAX}), (QList<int>{1, 1}));
}

TEST(FitSplitterSizes, MinimumsAreKeptAndTheLastWantedPaneGivesWay)
{
    // The data pane needs 190 pixels: the status pane gives way, not the control panel.
    EXPECT_EQ(FitSplitterSizes(640, 3, {225, 230}, {184, 70, 190}), (QList<int>{225, 219, 190}));
    EXPECT_EQ(FitSplitterSizes(540, 3, {225, 230}, {184, 70, 190}), (QList<int>{225, 119, 190}));
    EXPECT_EQ(FitSplitterSizes(480, 3, {225, 230}, {184, 70, 190}), (QList<int>{214, 70, 190}));
    // The chart yields to the lower area's minimum; it keeps its own.
    EXPECT_EQ(FitSplitterSizes(440, 3, {300}, {102, 183}), (QList<int>{254, 183}));
    EXPECT_EQ(FitSplitterSizes(440, 3, {INT_MIN}, {102, 183}), (QList<int>{102, 335}));
    // Not even room for the minimums: none negative, the total kept.
    const QList<int> tight = FitSplitterSizes(200, 3, {225, 230}, {184, 70, 190});
    EXPECT_EQ(tight.size(), 3);
    EXPECT_EQ(tight[0] + tight[1] + tight[2], 194);
    for (int s : tight)
        EXPECT_GE(s, 1);
}

} // namespace

#include "app/ui/ChartAdapter.h"

#include "support/QtHelpers.h"

#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QSignalSpy>
#include <QWheelEvent>

#include <cmath>
#include <string>

using namespace glowkite;
using namespace glowkite::test;

namespace {

std::string LabelOf(int i)
{
    // A 19-character label that differs per point.
    char text[32];
    std::snprintf(text, sizeof text, "05.03.2012 %02d:%02d:%02d", (i / 3600) % 24, (i / 60) % 60, i % 60);
    return text;
}

class ChartAdapterTest : public ::testing::Test {
protected:
    ChartAdapterTest()
    {
        chart.Widget()->resize(800, 400);
        chart.Widget()->show();
        chart.Replot();
        ProcessEvents(); // the redraw that showing queues
    }

    QCustomPlot *Plot() { return static_cast<QCustomPlot *>(chart.Widget()); }

    void AppendAQ(int n, double value = 20)
    {
        for (int i = 0; i < n; ++i)
            chart.Append(TSeries::AQ, value, LabelOf(chart.Count(TSeries::AQ)), clAQ);
    }

    TChartAdapter chart;
};

TEST_F(ChartAdapterTest, StartsWithFixedVerticalAxesAndFiveTitledSeries)
{
    EXPECT_EQ(chart.Range(TChartAxis::Left), LeftAxisRange);
    EXPECT_EQ(chart.Range(TChartAxis::Right), RightAxisRange);
    EXPECT_FALSE(chart.Automatic(TChartAxis::Left));
    EXPECT_FALSE(chart.Automatic(TChartAxis::Right));
    EXPECT_TRUE(chart.Automatic(TChartAxis::Bottom));
    EXPECT_TRUE(chart.Automatic(TChartAxis::Top));
    EXPECT_EQ(chart.Widget()->objectName(), "cht_Data");

    const char *titles[] = {"AQ", "Status", "X Pos", "Y Pos", "Verschmutzung"};
    const QColor colours[] = {QColor(0, 0, 255), QColor(255, 0, 0), QColor(0, 128, 0), QColor(255, 128, 0),
                              QColor(0, 0, 0)};
    ASSERT_EQ(Plot()->plottableCount(), 5);
    for (int i = 0; i < 5; ++i) {
        QCPAbstractPlottable *g = Plot()->plottable(i);
        EXPECT_EQ(g->name(), titles[i]);
        EXPECT_EQ(g->pen().color(), colours[i]);
        EXPECT_EQ(g->valueAxis(), i < 2 ? Plot()->yAxis : Plot()->yAxis2) << titles[i];
    }
    EXPECT_FALSE(Plot()->yAxis2->grid()->visible());
    EXPECT_TRUE(Plot()->xAxis2->visible());
    EXPECT_DOUBLE_EQ(Plot()->xAxis->tickLabelRotation(), -90);
}

TEST_F(ChartAdapterTest, PointsKeepValueLabelAndIndex)
{
    chart.Append(TSeries::Status, 80, "05.03.2012 14:07:09", clStatus);
    chart.Append(TSeries::Status, 0, "", clStatus);
    chart.Append(TSeries::XPos, -5.0, "", clXPos);
    EXPECT_EQ(chart.Count(TSeries::Status), 2);
    EXPECT_EQ(chart.Count(TSeries::XPos), 1);
    EXPECT_EQ(chart.Count(TSeries::AQ), 0);
    EXPECT_EQ(chart.Value(TSeries::Status, 0), 80);
    EXPECT_EQ(chart.Label(TSeries::Status, 0), "05.03.2012 14:07:09");
    EXPECT_EQ(chart.Label(TSeries::Status, 1), "");
    chart.Replot();
    ASSERT_EQ(chart.Drawn(TSeries::Status).line.size(), 2u);
    EXPECT_EQ(chart.Drawn(TSeries::Status).line[1].key, 1.0);

    chart.Clear();
    for (int i = 0; i < SeriesCount; ++i)
        EXPECT_EQ(chart.Count(static_cast<TSeries>(i)), 0);
}

TEST_F(ChartAdapterTest, FindLabelGivesTheFirstOfEqualLabels)
{
    chart.Append(TSeries::AQ, 1, "a", clAQ);
    chart.Append(TSeries::AQ, 2, "b", clAQ);
    chart.Append(TSeries::AQ, 3, "b", clAQ);
    EXPECT_EQ(chart.FindLabel(TSeries::AQ, "b"), 1);
    EXPECT_EQ(chart.FindLabel(TSeries::AQ, "B"), -1);
    EXPECT_EQ(chart.FindLabel(TSeries::AQ, "c"), -1);
}

TEST_F(ChartAdapterTest, ClampedPointsAreDrawnInTheirColourAsSegmentsEndingInThem)
{
    // AQ: 10, 119*, 119*, 30, 119*  (* clamped)
    chart.Append(TSeries::AQ, 10, "", clAQ);
    chart.Append(TSeries::AQ, 119, "", clAQClamped);
    chart.Append(TSeries::AQ, 119, "", clAQClamped);
    chart.Append(TSeries::AQ, 30, "", clAQ);
    chart.Append(TSeries::AQ, 119, "", clAQClamped);
    EXPECT_EQ(chart.AccentPointCount(TSeries::AQ, clAQClamped), 3);
    EXPECT_EQ(chart.AccentPointCount(TSeries::AQ, clAQ), 0);

    EXPECT_EQ(chart.Color(TSeries::AQ, 1), clAQClamped);
    EXPECT_EQ(chart.Color(TSeries::AQ, 3), clAQ);

    // Drawn over the series line: segments 0-1, 1-2 and 3-4 in the light blue.
    chart.Replot();
    EXPECT_EQ(Plot()->plottableCount(), 5);
    const TDrawing &drawn = chart.Drawn(TSeries::AQ);
    EXPECT_TRUE(drawn.everyPoint);
    ASSERT_EQ(drawn.line.size(), 5u) << "the series itself holds every point in order";
    std::vector<std::vector<double>> segments;
    for (const TDrawAccent &a : drawn.accents) {
        EXPECT_EQ(a.color, clAQClamped);
        segments.push_back({a.key0, a.value0, a.key1, a.value1});
    }
    EXPECT_EQ(segments, (std::vector<std::vector<double>>{{0, 10, 1, 119}, {1, 119, 2, 119}, {3, 30, 4, 119}}));

    chart.SetVisible(TSeries::AQ, false);
    EXPECT_FALSE(Plot()->plottable(0)->visible());
    chart.Clear();
    chart.Replot();
    EXPECT_EQ(chart.AccentPointCount(TSeries::AQ, clAQClamped), 0);
    EXPECT_EQ(chart.Count(TSeries::AQ), 0);
}

TEST_F(ChartAdapterTest, HiddenSeriesKeepReceivingPointsAndLeaveTheLegend)
{
    chart.SetVisible(TSeries::XPos, false);
    chart.Append(TSeries::XPos, 1.0, "", clXPos);
    EXPECT_FALSE(chart.IsVisible(TSeries::XPos));
    EXPECT_EQ(chart.Count(TSeries::XPos), 1);
    EXPECT_FALSE(Plot()->legend->hasItemWithPlottable(Plot()->plottable(2)));
    chart.SetVisible(TSeries::XPos, true);
    EXPECT_TRUE(Plot()->plottable(2)->visible());
    EXPECT_TRUE(Plot()->legend->hasItemWithPlottable(Plot()->plottable(2)));
    EXPECT_EQ(Plot()->legend->itemCount(), 5);
}

TEST_F(ChartAdapterTest, AppendingRedrawsOnceAtTheDisplayRate)
{
    QSignalSpy replots(Plot(), &QCustomPlot::afterReplot);
    AppendAQ(1000);
    EXPECT_EQ(replots.count(), 0);
    EXPECT_TRUE(chart.ReplotPending());
    EXPECT_TRUE(QTest::qWaitFor([&] { return replots.count() == 1; }, 2000));
    EXPECT_FALSE(chart.ReplotPending());
    ProcessEvents(3 * TChartAdapter::DenseLiveReplotIntervalMs);
    EXPECT_EQ(replots.count(), 1) << "nothing changed, nothing redrawn";
}

TEST_F(ChartAdapterTest, NewPointsRedrawSoonerWhereEachOneShows)
{
    // A few points across the width: each new one is a step of its own.
    AppendAQ(100);
    chart.Replot();
    AppendAQ(1);
    EXPECT_EQ(chart.ScheduledReplotMs(), TChartAdapter::LiveReplotIntervalMs);
    chart.Replot();

    // Many points to a pixel column: a new one moves the picture by less
    // than a pixel.
    const int columns = Plot()->axisRect()->width();
    AppendAQ(static_cast<int>(TChartAdapter::DensePointsPerColumn * columns) + 10);
    chart.Replot();
    AppendAQ(1);
    EXPECT_EQ(chart.ScheduledReplotMs(), TChartAdapter::DenseLiveReplotIntervalMs);
    chart.Replot();

    // An overview of hours: a new column begins only every few seconds.
    AppendAQ(static_cast<int>(TChartAdapter::OverviewPointsPerColumn * columns));
    chart.Replot();
    AppendAQ(1);
    EXPECT_EQ(chart.ScheduledReplotMs(), TChartAdapter::OverviewLiveReplotIntervalMs);

    // Something the user does is shown at the display rate, live redraw
    // pending or not.
    chart.SetVisible(TSeries::Status, false);
    EXPECT_EQ(chart.ScheduledReplotMs(), TChartAdapter::ReplotIntervalMs);
    chart.Replot();

    // Zoomed in to a few points a column again.
    chart.SetRange(TChartAxis::Bottom, {0, 100});
    chart.SetRange(TChartAxis::Top, {0, 100});
    chart.Replot();
    AppendAQ(1);
    EXPECT_EQ(chart.ScheduledReplotMs(), -1) << "the point lies beyond the view";
}

TEST_F(ChartAdapterTest, PointsOutsideAZoomedViewAreNotRedrawn)
{
    AppendAQ(500);
    chart.SetRange(TChartAxis::Bottom, {100, 200});
    chart.SetRange(TChartAxis::Top, {100, 200});
    chart.Replot();
    QSignalSpy replots(Plot(), &QCustomPlot::afterReplot);
    AppendAQ(50);
    chart.Append(TSeries::XPos, 3, LabelOf(0), clXPos);
    ProcessEvents(3 * TChartAdapter::DenseLiveReplotIntervalMs);
    EXPECT_EQ(replots.count(), 0);
    EXPECT_EQ(chart.Count(TSeries::AQ), 550) << "kept all the same";

    // A view that reaches past the end shows the next point, and the line
    // runs on to the first point beyond its right edge.
    chart.SetRange(TChartAxis::Bottom, {500, 550.5});
    chart.SetRange(TChartAxis::Top, {500, 550.5});
    chart.Replot();
    AppendAQ(1);
    EXPECT_TRUE(chart.ReplotPending()) << "point 550 is in view";
    chart.Replot();
    AppendAQ(1);
    EXPECT_TRUE(chart.ReplotPending()) << "point 551 is the neighbour the line runs on to";
    chart.Replot();
    AppendAQ(1);
    EXPECT_FALSE(chart.ReplotPending()) << "point 552 is drawn nowhere";

    // An automatic vertical axis takes in a value beyond its range, wherever
    // the point lies.
    chart.SetAutomatic(TChartAxis::Left, true);
    chart.Replot();
    AppendAQ(1, 20);
    EXPECT_FALSE(chart.ReplotPending());
    AppendAQ(1, 90);
    EXPECT_TRUE(chart.ReplotPending());
    chart.Replot();
    EXPECT_DOUBLE_EQ(chart.Range(TChartAxis::Left).max, 90);
}

TEST_F(ChartAdapterTest, BottomAxisFollowsThePointsWhileAutomatic)
{
    AppendAQ(101);
    EXPECT_EQ(chart.Range(TChartAxis::Bottom), (TAxisRange{0, 100}));
    EXPECT_EQ(chart.Range(TChartAxis::Top), (TAxisRange{0, 100}));
    chart.SetRange(TChartAxis::Bottom, {10, 20});
    EXPECT_FALSE(chart.Automatic(TChartAxis::Bottom));
    AppendAQ(50);
    EXPECT_EQ(chart.Range(TChartAxis::Bottom), (TAxisRange{10, 20}));
    EXPECT_EQ(chart.Range(TChartAxis::Top), (TAxisRange{0, 150}));
}

TEST_F(ChartAdapterTest, BottomLabelsAreThePointLabelsOfTheVisibleTicks)
{
    AppendAQ(1000);
    chart.SetRange(TChartAxis::Bottom, {100, 140});
    chart.Replot();
    const QVector<double> ticks = Plot()->xAxis->tickVector();
    const QVector<QString> labels = Plot()->xAxis->tickVectorLabels();
    ASSERT_FALSE(ticks.isEmpty());
    ASSERT_EQ(ticks.size(), labels.size());
    for (int i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i], std::round(ticks[i])) << "ticks sit on point indexes";
        EXPECT_EQ(labels[i].toStdString(), LabelOf(static_cast<int>(ticks[i])));
    }
    // Zoomed in to a few points, every point gets its tick.
    chart.SetRange(TChartAxis::Bottom, {500, 503});
    chart.Replot();
    EXPECT_EQ(Plot()->xAxis->tickVector(), (QVector<double>{500, 501, 502, 503}));
}

TEST_F(ChartAdapterTest, AMillionPointsMakeOnlyAsManyLabelsAsTicks)
{
    AppendAQ(1000000);
    const long long before = chart.LabelsMade();
    chart.Replot();
    const long long made = chart.LabelsMade() - before;
    EXPECT_GT(made, 2);
    EXPECT_LE(made, Plot()->xAxis->tickVector().size() + 2);
    EXPECT_LT(made, 200);
}

TEST_F(ChartAdapterTest, PixelAndValueConversionsRoundTrip)
{
    AppendAQ(201);
    for (double v : {0.0, 50.0, 123.0, 200.0}) {
        const double px = chart.BottomValueToPixel(v);
        EXPECT_NEAR(chart.PixelToBottomValue(px), v, 1e-9);
    }
    for (double v : {-1.0, 0.0, 60.0, 120.0}) {
        const double py = chart.LeftValueToPixel(v);
        EXPECT_NEAR(chart.PixelToLeftValue(py), v, 1e-9);
    }
    // Larger values lie further right and further up.
    EXPECT_LT(chart.BottomValueToPixel(10), chart.BottomValueToPixel(20));
    EXPECT_GT(chart.LeftValueToPixel(-1), chart.LeftValueToPixel(120));
    // Inside the widget.
    EXPECT_GE(chart.BottomValueToPixel(0), 0);
    EXPECT_LE(chart.BottomValueToPixel(200), chart.Widget()->width());
}

TEST_F(ChartAdapterTest, ConversionsFollowANewRangeBeforeTheNextRedraw)
{
    AppendAQ(201);
    chart.SetRange(TChartAxis::Bottom, {100, 200});
    const double left = chart.BottomValueToPixel(100);
    const double right = chart.BottomValueToPixel(200);
    chart.SetRange(TChartAxis::Bottom, {0, 50});
    EXPECT_TRUE(chart.ReplotPending());
    EXPECT_NEAR(chart.BottomValueToPixel(0), left, 1e-9);
    EXPECT_NEAR(chart.BottomValueToPixel(50), right, 1e-9);
    EXPECT_NEAR(chart.PixelToBottomValue((left + right) / 2), 25, 1e-9);
}

TEST_F(ChartAdapterTest, ZoomToRectSetsAllAxesFromTheEdgesAndNotifies)
{
    AppendAQ(201);
    QSignalSpy zooms(&chart, &TChartAdapter::zoomed);
    const int left = static_cast<int>(std::lround(chart.BottomValueToPixel(50)));
    const int right = static_cast<int>(std::lround(chart.BottomValueToPixel(150)));
    const int top = static_cast<int>(std::lround(chart.LeftValueToPixel(100)));
    const int bottom = static_cast<int>(std::lround(chart.LeftValueToPixel(0)));
    const double expectLeftMin = chart.PixelToLeftValue(bottom);
    chart.ZoomToRect(QRect(QPoint(left, top), QPoint(right, bottom)));
    EXPECT_EQ(zooms.count(), 1);
    const TAxisRange bottomRange = chart.Range(TChartAxis::Bottom);
    EXPECT_NEAR(bottomRange.min, 50, 1.0);
    EXPECT_NEAR(bottomRange.max, 150, 1.0);
    EXPECT_EQ(chart.Range(TChartAxis::Top), bottomRange);
    EXPECT_DOUBLE_EQ(chart.Range(TChartAxis::Left).min, expectLeftMin);
    EXPECT_NEAR(chart.Range(TChartAxis::Left).max, 100, 1.0);
    EXPECT_LT(chart.Range(TChartAxis::Right).max, RightAxisRange.max);
    for (int a = 0; a < ChartAxisCount; ++a)
        EXPECT_FALSE(chart.Automatic(static_cast<TChartAxis>(a)));
}

TEST_F(ChartAdapterTest, UndoRestoresTheStateOfTheFirstZoomOnly)
{
    AppendAQ(201);
    const QRect rect(QPoint(static_cast<int>(chart.BottomValueToPixel(50)), static_cast<int>(chart.LeftValueToPixel(120))),
                     QPoint(static_cast<int>(chart.BottomValueToPixel(150)), static_cast<int>(chart.LeftValueToPixel(-1))));
    EXPECT_FALSE(chart.HasSavedZoom());
    chart.ZoomToRect(rect);
    EXPECT_TRUE(chart.HasSavedZoom());
    chart.ZoomToRect(QRect(QPoint(rect.left() + 10, rect.top()), QPoint(rect.right() - 10, rect.bottom())));
    chart.UndoZoom();
    EXPECT_FALSE(chart.HasSavedZoom());
    EXPECT_TRUE(chart.Automatic(TChartAxis::Bottom)) << "automatic scaling comes back with the first state";
    EXPECT_EQ(chart.Range(TChartAxis::Bottom), (TAxisRange{0, 200}));
    EXPECT_EQ(chart.Range(TChartAxis::Left), LeftAxisRange);
    EXPECT_EQ(chart.Range(TChartAxis::Right), RightAxisRange);
    EXPECT_FALSE(chart.Automatic(TChartAxis::Left));

    // A second undo has nothing to restore but still redraws.
    chart.SetRange(TChartAxis::Bottom, {5, 6});
    chart.UndoZoom();
    EXPECT_EQ(chart.Range(TChartAxis::Bottom), (TAxisRange{5, 6}));
    EXPECT_TRUE(chart.ReplotPending());
}

TEST_F(ChartAdapterTest, ScrollingShiftsTheRangeAndSavesNothing)
{
    AppendAQ(201);
    chart.Scroll(TChartAxis::Bottom, 10);
    EXPECT_EQ(chart.Range(TChartAxis::Bottom), (TAxisRange{10, 210}));
    EXPECT_FALSE(chart.Automatic(TChartAxis::Bottom));
    EXPECT_FALSE(chart.HasSavedZoom());
    chart.Scroll(TChartAxis::Left, 0);
    EXPECT_EQ(chart.Range(TChartAxis::Left), LeftAxisRange);
    chart.Scroll(TChartAxis::Right, -0.5);
    EXPECT_DOUBLE_EQ(chart.Range(TChartAxis::Right).min, -6.51);
    chart.UndoZoom();
    EXPECT_EQ(chart.Range(TChartAxis::Bottom), (TAxisRange{10, 210})) << "nothing was saved";
}

TEST_F(ChartAdapterTest, ScrollAfterZoomIsUndoneWithTheZoom)
{
    AppendAQ(201);
    chart.Scroll(TChartAxis::Bottom, -20);
    const QRect rect(QPoint(static_cast<int>(chart.BottomValueToPixel(0)), 10),
                     QPoint(static_cast<int>(chart.BottomValueToPixel(100)), 100));
    chart.ZoomToRect(rect);
    chart.Scroll(TChartAxis::Bottom, 5);
    chart.UndoZoom();
    EXPECT_EQ(chart.Range(TChartAxis::Bottom), (TAxisRange{-20, 180}));
    EXPECT_FALSE(chart.Automatic(TChartAxis::Bottom));
}

TEST_F(ChartAdapterTest, DoubleClickIsPassedOnWithItsPosition)
{
    QSignalSpy clicks(&chart, &TChartAdapter::doubleClicked);
    QTest::mouseDClick(chart.Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(120, 80));
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toPointF(), QPointF(120, 80));
}

// The pixel of a value through the bottom and the left axis.
QPoint At(TChartAdapter &chart, double x, double y)
{
    return QPoint(static_cast<int>(std::lround(chart.BottomValueToPixel(x))),
                  static_cast<int>(std::lround(chart.LeftValueToPixel(y))));
}

void Drag(QWidget *w, Qt::MouseButton button, QPoint from, QPoint to)
{
    QTest::mousePress(w, button, Qt::NoModifier, from);
    QTest::mouseMove(w, (from + to) / 2);
    QTest::mouseMove(w, to);
    QTest::mouseRelease(w, button, Qt::NoModifier, to);
}

void Wheel(QWidget *w, int angleDelta)
{
    const QPoint pos(w->width() / 2, w->height() / 2);
    QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, angleDelta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

TEST_F(ChartAdapterTest, DraggingTowardTheLowerRightZoomsToTheRectangle)
{
    AppendAQ(201);
    QSignalSpy zooms(&chart, &TChartAdapter::zoomed);
    const QPoint from = At(chart, 50, 100), to = At(chart, 150, 20);
    const double onePixel = 200.0 / (chart.BottomValueToPixel(200) - chart.BottomValueToPixel(0));
    Drag(chart.Widget(), Qt::LeftButton, from, to);
    ASSERT_EQ(zooms.count(), 1);
    EXPECT_NEAR(chart.Range(TChartAxis::Bottom).min, 50, onePixel);
    EXPECT_NEAR(chart.Range(TChartAxis::Bottom).max, 150, onePixel);
    EXPECT_NEAR(chart.Range(TChartAxis::Left).min, 20, 1.0);
    EXPECT_NEAR(chart.Range(TChartAxis::Left).max, 100, 1.0);
    EXPECT_TRUE(chart.HasSavedZoom());
}

TEST_F(ChartAdapterTest, DraggingInAnyOtherDirectionUndoesTheZoom)
{
    AppendAQ(201);
    const QPoint a = At(chart, 50, 100), b = At(chart, 150, 20);
    for (auto [from, to] : {std::pair{b, a}, std::pair{QPoint(b.x(), a.y()), QPoint(a.x(), b.y())},
                            std::pair{QPoint(a.x(), b.y()), QPoint(b.x(), a.y())}}) {
        Drag(chart.Widget(), Qt::LeftButton, a, b);
        ASSERT_TRUE(chart.HasSavedZoom());
        QSignalSpy zooms(&chart, &TChartAdapter::zoomed);
        Drag(chart.Widget(), Qt::LeftButton, from, to);
        EXPECT_EQ(zooms.count(), 0);
        EXPECT_FALSE(chart.HasSavedZoom());
        EXPECT_TRUE(chart.Automatic(TChartAxis::Bottom));
        EXPECT_EQ(chart.Range(TChartAxis::Left), LeftAxisRange);
    }
}

TEST_F(ChartAdapterTest, AClickThatHardlyMovesNeitherZoomsNorUndoes)
{
    AppendAQ(201);
    chart.SetRange(TChartAxis::Bottom, {10, 20});
    const QPoint p = At(chart, 15, 50);
    Drag(chart.Widget(), Qt::LeftButton, p, p + QPoint(1, 1));
    Drag(chart.Widget(), Qt::LeftButton, p, p - QPoint(1, 0));
    EXPECT_FALSE(chart.HasSavedZoom());
    EXPECT_EQ(chart.Range(TChartAxis::Bottom), (TAxisRange{10, 20}));
}

TEST_F(ChartAdapterTest, RightDragPansHorizontallyOnlyAndIsUndoneLikeAZoom)
{
    AppendAQ(201);
    chart.SetRange(TChartAxis::Bottom, {100, 200});
    chart.SetRange(TChartAxis::Top, {100, 200});
    QSignalSpy zooms(&chart, &TChartAdapter::zoomed);
    // Dragging the picture to the left by 20 units shows later points.
    Drag(chart.Widget(), Qt::RightButton, At(chart, 150, 50), At(chart, 130, 90));
    const double onePixel = 100.0 / (chart.BottomValueToPixel(200) - chart.BottomValueToPixel(100));
    EXPECT_NEAR(chart.Range(TChartAxis::Bottom).min, 120, onePixel);
    EXPECT_NEAR(chart.Range(TChartAxis::Bottom).max, 220, onePixel);
    EXPECT_EQ(chart.Range(TChartAxis::Top), chart.Range(TChartAxis::Bottom));
    EXPECT_EQ(chart.Range(TChartAxis::Left), LeftAxisRange);
    EXPECT_EQ(chart.Range(TChartAxis::Right), RightAxisRange);
    EXPECT_EQ(zooms.count(), 0);
    ASSERT_TRUE(chart.HasSavedZoom());
    chart.UndoZoom();
    EXPECT_EQ(chart.Range(TChartAxis::Bottom), (TAxisRange{100, 200}));
}

TEST_F(ChartAdapterTest, TheWheelShiftsBothVerticalAxesByThreeHundredthsPerStep)
{
    AppendAQ(201);
    Wheel(chart.Widget(), -120); // one step toward the user
    EXPECT_NEAR(chart.Range(TChartAxis::Left).min, 2.63, 1e-9);
    EXPECT_NEAR(chart.Range(TChartAxis::Left).max, 123.63, 1e-9);
    EXPECT_NEAR(chart.Range(TChartAxis::Right).min, -5.6497, 1e-9);
    EXPECT_NEAR(chart.Range(TChartAxis::Right).max, 6.3603, 1e-9);
    EXPECT_TRUE(chart.Automatic(TChartAxis::Bottom)) << "the horizontal axis is left alone";
    EXPECT_FALSE(chart.HasSavedZoom());

    Wheel(chart.Widget(), 240); // two steps away
    EXPECT_NEAR(chart.Range(TChartAxis::Left).min, -1 - 3.63, 1e-9);
    // A fine wheel's parts of a step add up to one.
    Wheel(chart.Widget(), -60);
    EXPECT_NEAR(chart.Range(TChartAxis::Left).min, -4.63, 1e-9);
    Wheel(chart.Widget(), -60);
    EXPECT_NEAR(chart.Range(TChartAxis::Left).min, -1, 1e-9);
}

} // namespace

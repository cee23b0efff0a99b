// Chart navigation of the main window: the keys (through the key preview),
// the double click, the mouse and the zoom to a status line.
#include "app/ui/ChartAdapter.h"
#include "app/ui/TextLinesModel.h"
#include "app/UGlowKite.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QKeyEvent>
#include <QWheelEvent>

#include <cmath>
#include <memory>

using namespace glowkite;
using namespace glowkite::test;

namespace {

std::string LabelOf(int second)
{
    char text[32];
    std::snprintf(text, sizeof text, "05.03.2012 14:%02d:%02d", second / 60 % 60, second % 60);
    return text;
}

class ChartNavigationTest : public ::testing::Test {
protected:
    ChartNavigationTest()
    {
        w = std::make_unique<TForm_GlowKite>(PathsIn(dir));
        w->resize(900, 600);
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        ProcessEvents(20);
        w->Decoder().Intervall = 1;
        for (int i = 0; i < 300; ++i)
            w->Decoder().AddMeasurement(LabelOf(i), static_cast<std::int16_t>(i % 100), 0, 0, 0, 128);
        w->Chart().Replot();
    }

    TChartAdapter &Chart() { return w->Chart(); }
    TAxisRange Bottom() { return Chart().Range(TChartAxis::Bottom); }

    // Shows 100..200 on the bottom and top axes, as after a scroll.
    void Show100To200()
    {
        Chart().SetRange(TChartAxis::Bottom, {100, 200});
        Chart().SetRange(TChartAxis::Top, {100, 200});
    }

    // One pixel column in bottom-axis units: a zoom built from whole pixels
    // lands within it.
    double OnePixel()
    {
        const TAxisRange r = Bottom();
        return (r.max - r.min) / (Chart().BottomValueToPixel(r.max) - Chart().BottomValueToPixel(r.min));
    }

    void ExpectBottom(double min, double max, double tolerance)
    {
        EXPECT_NEAR(Bottom().min, min, tolerance);
        EXPECT_NEAR(Bottom().max, max, tolerance);
        EXPECT_EQ(Chart().Range(TChartAxis::Top), Bottom());
    }

    void ExpectFixedVerticalAxes()
    {
        EXPECT_EQ(Chart().Range(TChartAxis::Left), LeftAxisRange);
        EXPECT_EQ(Chart().Range(TChartAxis::Right), RightAxisRange);
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(&w->mem_HEX(), static_cast<Qt::Key>(key), modifiers);
    }

    RuntimeDirOverride runtime;
    TempDir dir;
    std::unique_ptr<TForm_GlowKite> w;
};

TEST_F(ChartNavigationTest, F1AndF2ScrollByATenthOfTheVisibleRange)
{
    Show100To200();
    Key(Qt::Key_F2);
    ExpectBottom(110, 210, 1e-9);
    Key(Qt::Key_F1);
    ExpectBottom(100, 200, 1e-9);
    ExpectFixedVerticalAxes();
    EXPECT_FALSE(Chart().HasSavedZoom()) << "scrolling saves nothing";
    EXPECT_TRUE(Chart().Widget()->hasFocus()) << "the chart takes the focus";
}

TEST_F(ChartNavigationTest, F3ZoomsInAndF4ZoomsOutByAFifthOnEachSide)
{
    Show100To200();
    double px = OnePixel();
    Key(Qt::Key_F3);
    ExpectBottom(120, 180, px);
    ExpectFixedVerticalAxes();

    Chart().UndoZoom();
    Show100To200();
    px = OnePixel();
    Key(Qt::Key_F4);
    ExpectBottom(80, 220, px);
    ExpectFixedVerticalAxes();
}

TEST_F(ChartNavigationTest, F3ThenF4LeavesTwentyOneTwentyFifthsAboutTheSameCentre)
{
    Show100To200();
    const double px = OnePixel();
    Key(Qt::Key_F3);
    Key(Qt::Key_F4);
    const TAxisRange r = Bottom();
    EXPECT_NEAR(r.max - r.min, 100.0 * 21 / 25, 2 * px);
    EXPECT_NEAR((r.max + r.min) / 2, 150, 2 * px);
}

TEST_F(ChartNavigationTest, ModifiersDoNotCountAndTheFocusedControlGetsTheKeyToo)
{
    int seen = 0;
    struct Counter : QObject {
        int &n;
        explicit Counter(int &count) : n(count) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == Qt::Key_F3)
                ++n;
            return false;
        }
    } counter(seen);
    w->mem_HEX().installEventFilter(&counter);

    for (Qt::KeyboardModifiers m : {Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::KeyboardModifiers(Qt::ControlModifier),
                                    Qt::KeyboardModifiers(Qt::AltModifier)}) {
        Chart().UndoZoom();
        Show100To200();
        const double px = OnePixel();
        Key(Qt::Key_F3, m);
        ExpectBottom(120, 180, px);
    }
    EXPECT_EQ(seen, 3);
}

TEST_F(ChartNavigationTest, KeysWorkWhicheverControlHasTheKeyPress)
{
    Show100To200();
    QTest::keyClick(&w->MonthCalendar(), Qt::Key_F2);
    QTest::keyClick(w.get(), Qt::Key_F2);
    QTest::keyClick(Chart().Widget(), Qt::Key_F2);
    ExpectBottom(130, 230, 1e-9); // each key press counts once
    const QDate date = w->MonthCalendar().selectedDate();
    QTest::keyClick(&w->MonthCalendar(), Qt::Key_A);
    ExpectBottom(130, 230, 1e-9); // other keys are ignored
    EXPECT_EQ(w->MonthCalendar().selectedDate(), date);
}

TEST_F(ChartNavigationTest, EscAfterScrollingAloneBringsNothingBack)
{
    EXPECT_TRUE(Chart().Automatic(TChartAxis::Bottom));
    Key(Qt::Key_F1);
    const TAxisRange scrolled = Bottom();
    EXPECT_FALSE(Chart().Automatic(TChartAxis::Bottom));
    Key(Qt::Key_Escape);
    EXPECT_FALSE(Chart().Automatic(TChartAxis::Bottom)) << "nothing was saved";
    EXPECT_EQ(Bottom(), scrolled);

    // After F1 and F3, Esc restores the range as it was after F1.
    Key(Qt::Key_F3);
    EXPECT_NE(Bottom(), scrolled);
    Key(Qt::Key_Escape);
    EXPECT_EQ(Bottom(), scrolled);
    EXPECT_FALSE(Chart().HasSavedZoom());
}

TEST_F(ChartNavigationTest, ADoubleClickShowsAFifthOfTheWidthAroundTheClickedPoint)
{
    Show100To200();
    const double px = OnePixel();
    const QPoint at(static_cast<int>(std::lround(Chart().BottomValueToPixel(150))), Chart().Widget()->height() / 2);
    const double clicked = Chart().PixelToBottomValue(at.x());
    QTest::mouseDClick(Chart().Widget(), Qt::LeftButton, Qt::NoModifier, at);
    ExpectBottom(clicked - 10, clicked + 10, px);
    EXPECT_NEAR(clicked, 150, px);
    ExpectFixedVerticalAxes();
    EXPECT_TRUE(Chart().HasSavedZoom());
}

TEST_F(ChartNavigationTest, AMouseRectangleZoomsOnlyTheHorizontalRange)
{
    Show100To200();
    const double px = OnePixel();
    auto at = [this](double x, double y) {
        return QPoint(static_cast<int>(std::lround(Chart().BottomValueToPixel(x))),
                      static_cast<int>(std::lround(Chart().LeftValueToPixel(y))));
    };
    QWidget *chart = Chart().Widget();
    QTest::mousePress(chart, Qt::LeftButton, Qt::NoModifier, at(140, 60));
    QTest::mouseMove(chart, at(150, 50));
    QTest::mouseMove(chart, at(160, 40));
    QTest::mouseRelease(chart, Qt::LeftButton, Qt::NoModifier, at(160, 40));
    ExpectBottom(140, 160, px);
    ExpectFixedVerticalAxes();
}

TEST_F(ChartNavigationTest, AWheelStepIsUndoneByTheNextZoom)
{
    QWidget *chart = Chart().Widget();
    const QPoint pos(chart->width() / 2, chart->height() / 2);
    QWheelEvent toward(pos, chart->mapToGlobal(pos), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &toward);
    EXPECT_NEAR(Chart().Range(TChartAxis::Left).min, 2.63, 1e-9);
    EXPECT_NEAR(Chart().Range(TChartAxis::Left).max, 123.63, 1e-9);
    EXPECT_NEAR(Chart().Range(TChartAxis::Right).min, -5.65, 0.005);
    EXPECT_NEAR(Chart().Range(TChartAxis::Right).max, 6.36, 0.005);
    Key(Qt::Key_F3);
    ExpectFixedVerticalAxes();
}

// An empty chart shows the unit width 0..1 (the chart refuses a range of no
// width), so the keys zoom it like any other and Esc gives it back.
TEST_F(ChartNavigationTest, AnEmptyChartZoomsAroundItsUnitWidth)
{
    w->ClearData();
    ASSERT_EQ(Bottom().min, 0.0);
    ASSERT_EQ(Bottom().max, 1.0);
    const double px = OnePixel();
    Key(Qt::Key_F3);
    EXPECT_FALSE(Chart().Automatic(TChartAxis::Bottom));
    ExpectBottom(0.2, 0.8, px);
    ExpectFixedVerticalAxes();
    Key(Qt::Key_Escape);
    EXPECT_TRUE(Chart().Automatic(TChartAxis::Bottom));
    EXPECT_EQ(Bottom().min, 0.0);
    EXPECT_EQ(Bottom().max, 1.0);
}

TEST_F(ChartNavigationTest, DoubleClickOnAStatusLineZoomsAroundItsFirstPoint)
{
    // Two frames a second; the status changes at the second frame of
    // 14:00:30 (point 61), whose label point 60 carries as well.
    w->ClearData();
    for (int i = 0; i < 100; ++i) {
        const std::int16_t flags = i >= 61 ? (i >= 80 ? 2 : 1) : 0;
        w->Decoder().AddMeasurement(LabelOf(i / 2), 20, flags, 0, 0, 128);
    }
    TTextPane &status = w->mem_Status();
    status.Lines().Publish();
    ASSERT_EQ(status.Lines().Count(), 2);
    const std::string line = std::string(status.Lines().Line(0));
    ASSERT_EQ(line.substr(0, 19), "05.03.2012 14:00:30");
    ASSERT_EQ(Chart().Label(TSeries::AQ, 60), LabelOf(30));
    Chart().SetRange(TChartAxis::Left, {10, 20});
    const double px = OnePixel();

    status.setCurrentIndex(status.model()->index(0, 0));
    w->mem_StatusDblClick();
    ExpectBottom(40, 65, px);
    ExpectFixedVerticalAxes();

    // Through the pane itself: a double click on the line.
    Chart().UndoZoom();
    status.setCurrentIndex(status.model()->index(1, 0));
    const QRect rect = status.visualRect(status.model()->index(0, 0));
    QTest::mouseClick(status.viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QTest::mouseDClick(status.viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    EXPECT_EQ(status.CurrentLine(), 0);
    ExpectBottom(40, 65, px);
}

TEST_F(ChartNavigationTest, AStatusLineWithoutAPointDoesNothing)
{
    Show100To200();
    w->ZoomToLabel("05.03.2012 15:00:00");
    w->ZoomToLabel("");
    EXPECT_EQ(Bottom(), (TAxisRange{100, 200}));
    EXPECT_FALSE(Chart().HasSavedZoom());

    // After "Graph löschen" the status pane is empty: nothing to zoom to.
    w->btn_ClearClick();
    w->mem_StatusDblClick();
    EXPECT_FALSE(Chart().HasSavedZoom());
}

} // namespace

// The main window's layout from the fonts present: every control whole at
// the first start (640 x 480), the chart taking the room when the window
// grows, and stored bounds of any value giving a window on the screen.
#include "app/UGlowKite.h"

#include "about/About.h"
#include "app/ui/ChartAdapter.h"
#include "gui/GuiSupport.h"
#include "settings/UOption.h"
#include "settings/IniFile.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QCheckBox>
#include <QImageReader>
#include <QTabWidget>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>

#include <memory>

using namespace glowkite;
using namespace glowkite::test;

namespace {

class WindowLayoutTest : public ::testing::Test {
protected:
    std::unique_ptr<TForm_GlowKite> Start()
    {
        auto w = std::make_unique<TForm_GlowKite>(PathsIn(dir));
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        ProcessEvents(30);
        return w;
    }
    void SetIni(const std::string &text) const { WriteFile(dir / "glowkite.INI", text); }
    static QRect Screen() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    // Every visible label at least as wide and high as its text in its font,
    // and inside its parent (nothing cut off by the pane it sits in).
    static void ExpectLabelsWhole(QWidget &w)
    {
        for (QLabel *label : w.findChildren<QLabel *>()) {
            if (!label->isVisibleTo(&w) || label->text().isEmpty())
                continue;
            const QFontMetrics fm(label->font());
            const std::string name = label->objectName().toStdString() + " \"" + label->text().toStdString() + "\"";
            EXPECT_GE(label->contentsRect().width(), fm.horizontalAdvance(label->text())) << name;
            EXPECT_GE(label->contentsRect().height(), fm.height()) << name;
            const QRect inParent = label->geometry();
            EXPECT_TRUE(label->parentWidget()->rect().contains(inParent)) << name;
        }
    }

    RuntimeDirOverride runtime;
    TempDir dir;
};

TEST_F(WindowLayoutTest, AtTheFirstStartEveryControlIsWhole)
{
    auto w = Start();
    ASSERT_EQ(w->frameGeometry().size(), QSize(640, 480));
    ExpectLabelsWhole(*w);

    auto *button = w->findChild<QPushButton *>("btn_Clear");
    EXPECT_GE(button->width(), button->sizeHint().width());
    EXPECT_GE(button->height(), button->minimumSizeHint().height());

    // The calendar is whole inside its panel, and its grid shows every row:
    // the weekday names and six weeks, so the days 21-31 of any month too.
    QCalendarWidget &calendar = w->MonthCalendar();
    EXPECT_TRUE(w->findChild<QWidget *>("pnl_Control")->rect().contains(calendar.geometry()));
    EXPECT_GE(calendar.height(), calendar.minimumSizeHint().height());
    auto *grid = calendar.findChild<QTableView *>("qt_calendar_calendarview");
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->model()->rowCount(), 7);
    for (int row = 0; row < 7; ++row)
        EXPECT_LE(grid->rowViewportPosition(row) + grid->rowHeight(row), grid->viewport()->height()) << row;
    for (int column = 0; column < 7; ++column)
        EXPECT_LE(grid->columnViewportPosition(column) + grid->columnWidth(column), grid->viewport()->width())
            << column;
    // The 31st of a month that spans six weeks is in the grid.
    calendar.setSelectedDate(QDate(2026, 8, 31));
    ProcessEvents(10);
    const QModelIndex last = grid->model()->index(6, 0);
    EXPECT_EQ(grid->model()->data(last).toInt(), 31);
    EXPECT_TRUE(grid->viewport()->rect().contains(grid->visualRect(last)));

    // The status bar's panels hold their start texts.
    for (int i = 0; i < 6; ++i) {
        auto *panel = w->statusBar()->findChild<QLabel *>(QStringLiteral("StatusPanel%1").arg(i));
        EXPECT_GE(panel->width(), panel->fontMetrics().horizontalAdvance(panel->text())) << i;
    }
    // A count of a full day still fits its label.
    w->SetCountText("  Anzahl der Messwerte: 1234567");
    ProcessEvents(100);
    ExpectLabelsWhole(*w);
    EXPECT_EQ(w->frameGeometry().size(), QSize(640, 480)) << "the window does not grow for a longer count";
}

TEST_F(WindowLayoutTest, TheChartTakesTheRoomWhenTheWindowGrows)
{
    auto w = Start();
    QWidget *panes = w->findChild<QWidget *>("Splitter_Panes");
    const int chartBefore = w->ChartHeight();
    const int panesBefore = panes->height();
    w->resize(w->width() + 200, w->height() + 250);
    ProcessEvents(30);
    EXPECT_EQ(w->ChartHeight(), chartBefore + 250);
    EXPECT_EQ(panes->height(), panesBefore);
    ExpectLabelsWhole(*w);
}

TEST_F(WindowLayoutTest, StoredBoundsBeyondTheScreenAreFittedToIt)
{
    const QRect screen = Screen();
    SetIni("[Window]\r\nMain.Left=90000\r\nMain.Top=-70000\r\nMain.With=" + std::to_string(screen.width() + 500) +
           "\r\nMain.Heigth=" + std::to_string(screen.height() + 400) + "\r\n");
    auto w = Start();
    EXPECT_EQ(w->frameGeometry(), screen);
    // Its status bar is on the screen.
    const QRect bar(w->statusBar()->mapToGlobal(QPoint()), w->statusBar()->size());
    EXPECT_TRUE(screen.contains(bar));
}

TEST_F(WindowLayoutTest, ExtremeValuesNeitherOverflowNorHang)
{
    const QRect screen = Screen();
    for (const char *values : {"Main.With=2147483647\r\n",
                               "Main.With=-2147483648\r\nPanel1.With=2147483647\r\n",
                               "Main.Left=-2147483648\r\nMain.Top=2147483647\r\nMain.Heigth=-2147483648\r\n"
                               "Chart.Heigth=2147483647\r\n",
                               "Chart.Heigth=-2147483648\r\nPanel1.With=-2147483648\r\n"}) {
        SetIni(std::string("[Window]\r\n") + values);
        auto w = Start();
        const QRect outer = w->frameGeometry();
        EXPECT_TRUE(screen.contains(outer)) << values;
        EXPECT_GE(outer.width(), w->minimumSizeHint().width()) << values;
        for (const char *pane : {"pnl_Control", "Panel1", "pnl_Data"}) {
            QWidget *p = w->findChild<QWidget *>(pane);
            EXPECT_GE(p->width(), p->minimumSizeHint().width()) << values << pane;
        }
        EXPECT_GE(w->ChartHeight(), w->Chart().Widget()->minimumSizeHint().height()) << values;
        // The window answers: it closes and writes sane values back.
        w->close();
        TIniFile ini(dir / "glowkite.INI");
        EXPECT_LE(ini.ReadInteger("Window", "Main.With", 0), screen.width()) << values;
        EXPECT_LE(ini.ReadInteger("Window", "Panel1.With", 0), screen.width()) << values;
        EXPECT_LE(ini.ReadInteger("Window", "Chart.Heigth", 0), screen.height()) << values;
    }
}

TEST_F(WindowLayoutTest, AWindowClosedMaximisedReopensWhole)
{
    {
        auto w = Start();
        w->showMaximized();
        ProcessEvents(50);
        w->close();
    }
    auto w = Start();
    const QRect screen = Screen();
    EXPECT_TRUE(screen.contains(w->frameGeometry()));
    const QRect bar(w->statusBar()->mapToGlobal(QPoint()), w->statusBar()->size());
    EXPECT_TRUE(screen.contains(bar));
}

TEST_F(WindowLayoutTest, ThreeStartsKeepTheSize)
{
    SetIni("[Window]\r\nMain.Left=40\r\nMain.Top=30\r\nMain.With=700\r\nMain.Heigth=520\r\n");
    std::string first;
    for (int run = 0; run < 3; ++run) {
        auto w = Start();
        w->close();
        const std::string window = ReadFile(dir / "glowkite.INI").substr(0, 120);
        if (run == 0)
            first = window;
        EXPECT_EQ(window, first) << run;
    }
    TIniFile ini(dir / "glowkite.INI");
    EXPECT_EQ(ini.ReadInteger("Window", "Main.With", 0), 700);
    EXPECT_EQ(ini.ReadInteger("Window", "Main.Heigth", 0), 520);
}

TEST_F(WindowLayoutTest, TheDialogsTextsAreWholeInTheFontUsed)
{
    TFOption options;
    for (int tab = 0; tab < options.pgc_Option->count(); ++tab) {
        options.pgc_Option->setCurrentIndex(tab);
        options.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&options));
        ExpectLabelsWhole(options);
        for (QCheckBox *box : options.findChildren<QCheckBox *>())
            if (box->isVisibleTo(&options)) {
                EXPECT_GE(box->width(), box->sizeHint().width()) << box->text().toStdString();
                EXPECT_GE(box->height(), box->minimumSizeHint().height()) << box->text().toStdString();
            }
    }
    EXPECT_EQ(options.font().pointSize(), 8);

    TAboutBox about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(about.font().pointSize(), 8);
    EXPECT_EQ(about.VersionDate->font().pointSize(), 8);
    ExpectLabelsWhole(about);
    EXPECT_LE(about.Version->geometry().bottom(), about.VersionDate->geometry().top()) << "no label over another";
    ASSERT_NE(about.ProgramIcon->pixmap().isNull(), true);
    if (QImageReader::supportedImageFormats().contains("svg")) {
        // The program's own icon, not the style's: the SVG has the kite's colours.
        const QImage own = ProgramIcon().pixmap(64, 64).toImage();
        const QImage shown = about.ProgramIcon->pixmap().toImage();
        EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32), own.convertToFormat(QImage::Format_ARGB32));
        EXPECT_FALSE(about.windowIcon().isNull());
    }
}

} // namespace

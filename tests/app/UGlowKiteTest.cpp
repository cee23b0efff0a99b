#include "app/UGlowKite.h"

#include "app/ui/ChartAdapter.h"
#include "app/ui/TextLinesModel.h"
#include "settings/IniFile.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCalendarWidget>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <vector>

using namespace glowkite;
using namespace glowkite::test;

namespace {

class UGlowKiteTest : public ::testing::Test {
protected:
    ProgramPaths Paths() const { return PathsIn(dir); }

    // Creates the window, shows it and lets its layout settle.
    std::unique_ptr<TForm_GlowKite> Start()
    {
        auto w = std::make_unique<TForm_GlowKite>(Paths());
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        ProcessEvents(20);
        return w;
    }

    std::string Ini() const { return ReadFile(dir / "glowkite.INI"); }
    void SetIni(const std::string &text) const { WriteFile(dir / "glowkite.INI", text); }

    QString Caption(TForm_GlowKite &w, const char *name) const
    {
        auto *label = w.findChild<QLabel *>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
    }

    // The chart's room once the lower area has what its controls need.
    static int LowerAreaRoom(TForm_GlowKite &w)
    {
        auto *chartSplitter = w.findChild<QSplitter *>("Splitter_Chart");
        return chartSplitter->height() - chartSplitter->handleWidth() -
               w.findChild<QWidget *>("Splitter_Panes")->minimumSizeHint().height();
    }

    RuntimeDirOverride runtime;
    TempDir dir;
};

// The keys of the file in the order they stand, "Section/Key".
std::vector<std::string> KeysInOrder(const std::string &text)
{
    std::vector<std::string> keys;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[')
            section = line.substr(1, line.find(']') - 1);
        else if (auto eq = line.find('='); eq != std::string::npos)
            keys.push_back(section + "/" + line.substr(0, eq));
    }
    return keys;
}

// The control pane is 225 wide and Panel1 230, unless the style's controls
// need more (the Windows calendar is wider): then the control pane takes what
// it needs and Panel1 gives way, down to its own least width, so that the
// data pane keeps its least width too.
int LeastWidth(const QWidget *p) { return p->minimumSizeHint().expandedTo(p->minimumSize()).width(); }

int DefaultControlWidth(const TForm_GlowKite &w)
{
    return std::max(225, LeastWidth(w.findChild<QWidget *>("pnl_Control")));
}

int DefaultPanel1Width(const TForm_GlowKite &w)
{
    const auto *panes = w.findChild<QSplitter *>("Splitter_Panes");
    const int room = panes->width() - 2 * panes->handleWidth();
    return std::clamp(230, LeastWidth(w.findChild<QWidget *>("Panel1")),
                      room - DefaultControlWidth(w) - LeastWidth(w.findChild<QWidget *>("pnl_Data")));
}

TEST_F(UGlowKiteTest, StartsWithoutSettingsFileWithTheDefaults)
{
    auto w = Start();
    EXPECT_EQ(w->frameGeometry(), QRect(0, 0, 640, 480));
    // The chart is 300 high where the window leaves the controls below it
    // their room; at 640 x 480 it yields what the calendar needs.
    EXPECT_EQ(w->ChartHeight(), std::min(300, LowerAreaRoom(*w)));
    EXPECT_EQ(w->Chart().Widget()->height(), w->ChartHeight());
    const auto *control = w->findChild<QWidget *>("pnl_Control");
    EXPECT_EQ(control->width(), DefaultControlWidth(*w));
    EXPECT_EQ(w->Panel1Width(), DefaultPanel1Width(*w));
    EXPECT_EQ(w->findChild<QWidget *>("Panel1")->width(), w->Panel1Width());
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        EXPECT_EQ(control->width(), 225) << "the default layout fits with the fonts of the tests";
        EXPECT_EQ(w->Panel1Width(), 230);
    }

    TMeasurementDecoder &d = w->Decoder();
    EXPECT_TRUE(d.AllData2Chart);
    EXPECT_FALSE(d.GlowkiteVersion);
    EXPECT_EQ(d.Intervall, 60);
    EXPECT_EQ(d.LastStatus, 255);
    EXPECT_FALSE(d.xPosActive || d.yPosActive || d.Gain);

    EXPECT_EQ(Caption(*w, "lbl_protocol"), "glowkite +");
    EXPECT_EQ(Caption(*w, "lbl_WerteAnz"), "Anzahl der Messwerte: 0");
    EXPECT_EQ(w->mem_HEX().Lines().Count(), 0);
    EXPECT_EQ(w->mem_Status().Lines().Count(), 0);
    EXPECT_TRUE(w->Chart().IsVisible(TSeries::AQ));
    EXPECT_TRUE(w->Chart().IsVisible(TSeries::Status));
    EXPECT_FALSE(w->Chart().IsVisible(TSeries::XPos));
    EXPECT_FALSE(w->Chart().IsVisible(TSeries::YPos));
    EXPECT_FALSE(w->Chart().IsVisible(TSeries::Gain));
    EXPECT_EQ(w->MonthCalendar().selectedDate(), QDate::currentDate());
    EXPECT_EQ(w->MonthCalendar().locale().language(), QLocale::German); // month names in German
    EXPECT_EQ(w->MonthCalendar().firstDayOfWeek(), Qt::Monday);
    EXPECT_FALSE(std::filesystem::exists(dir / "glowkite.INI")) << "read only at start";
}

TEST_F(UGlowKiteTest, LayoutCaptionsMenuAndStatusBar)
{
    auto w = Start();
    EXPECT_EQ(w->windowTitle(), "GlowKite Protokoll");
    EXPECT_EQ(Caption(*w, "lbl_Verlauf"), "   Verlauf");
    EXPECT_EQ(Caption(*w, "lbl_ProtocolCaption"), "Protokoll:");
    EXPECT_TRUE(w->findChild<QLabel *>("lbl_protocol")->font().bold());
    EXPECT_TRUE(w->findChild<QLabel *>("lbl_WerteAnz")->font().bold());
    EXPECT_EQ(w->findChild<QLabel *>("lbl_WerteAnz")->font().pointSize(), 10);
    EXPECT_EQ(w->findChild<QPushButton *>("btn_Clear")->text(), QStringLiteral("Graph l\u00f6schen"));
    // The protocol label lies inside the chart, at its top left.
    QWidget *protocol = w->findChild<QLabel *>("lbl_protocol");
    EXPECT_TRUE(w->Chart().Widget()->isAncestorOf(protocol));
    EXPECT_LT(protocol->mapTo(w->Chart().Widget(), QPoint(0, 0)).x(), 120);

    QStringList menus;
    for (QAction *a : w->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&Datei", "&Projekt", "&Start", "&Hilfe"}));
    QStringList start;
    for (QAction *a : w->menuBar()->actions().at(2)->menu()->actions())
        start << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(start, (QStringList{"&Start", "S&topp", "-", "Sch&nittstelle"}));
    for (const char *name : {"act_Exit", "act_Option", "act_Start", "act_Stopp", "act_Port", "act_About"}) {
        auto *a = w->findChild<QAction *>(name);
        ASSERT_NE(a, nullptr) << name;
        EXPECT_TRUE(a->isEnabled()) << name;
    }

    const QStringList texts{"getrennt", "COM1", "glowKite", "Status", "", ""};
    const int widths[] = {70, 50, 70, 50, 50, 50};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(w->PanelText(i), texts[i]);
        EXPECT_EQ(w->statusBar()->findChild<QLabel *>(QStringLiteral("StatusPanel%1").arg(i))->width(), widths[i]);
    }
    w->SetPanelText(0, "verbunden");
    EXPECT_EQ(w->PanelText(0), "verbunden");
}

TEST_F(UGlowKiteTest, LogWritersWriteIntoTheLogFolder)
{
    auto w = Start();
    EXPECT_EQ(w->StatusLog.Directory, dir / "LOG/");
    EXPECT_EQ(w->DataLog.Directory, dir / "LOG/");
    const LocalTime t{2012, 3, 5, 14, 7, 9, 0};
    EXPECT_EQ(w->StatusLog.FileName(t), dir / "LOG/glowKite_1203.log");
    EXPECT_EQ(w->DataLog.FileName(t), dir / "LOG/glowkite_120305.glow");
    EXPECT_EQ(w->Receiver().CurrentDay, DateTimeText(SystemClock()).substr(0, 10));

    // A status change reaches the status pane and the monthly status log.
    w->Decoder().AddMeasurement("05.03.2012 14:07:09", 20, 0x03, 0, 0, 128);
    ASSERT_EQ(w->mem_Status().Lines().Count(), 1);
    EXPECT_EQ(w->mem_Status().Lines().Line(0), "05.03.2012 14:07:09  03   Alarm ;St\xF6rung ");
    EXPECT_EQ(ReadFile(w->StatusLog.FileName(SystemClock())), "05.03.2012 14:07:09  03   Alarm ;St\xF6rung \r\n");
}

TEST_F(UGlowKiteTest, MeasurementsAreShownAndGraphLoeschenClearsThem)
{
    auto w = Start();
    TMeasurementDecoder &d = w->Decoder();
    d.AddMeasurement("05.03.2012 14:07:09", 20, 0, 115, -115, 128);
    d.AddMeasurement("05.03.2012 14:07:10", 200, 0, 0, 0, 128);
    w->AppendHexLine("05.03.2012 14:07:09  RX: 00 A1");
    d.ShowCount();
    TChartAdapter &chart = w->Chart();
    EXPECT_EQ(chart.Count(TSeries::AQ), 2);
    EXPECT_EQ(chart.Count(TSeries::Gain), 2);
    EXPECT_EQ(chart.Value(TSeries::XPos, 0), 5.0);
    EXPECT_EQ(chart.Value(TSeries::AQ, 1), 119);
    EXPECT_EQ(chart.AccentPointCount(TSeries::AQ, clAQClamped), 1);
    EXPECT_EQ(chart.Label(TSeries::AQ, 1), "05.03.2012 14:07:10");
    // The label follows at the display rate.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Caption(*w, "lbl_WerteAnz") == "Anzahl der Messwerte: 2"; }, 1000))
        << Caption(*w, "lbl_WerteAnz").toStdString();
    EXPECT_EQ(w->mem_HEX().Lines().Count(), 1);
    EXPECT_EQ(w->mem_Status().Lines().Count(), 1);

    chart.ZoomToRect(QRect(10, 10, 50, 50));
    ASSERT_TRUE(chart.HasSavedZoom());
    QTest::mouseClick(w->findChild<QPushButton *>("btn_Clear"), Qt::LeftButton);
    for (int i = 0; i < SeriesCount; ++i)
        EXPECT_EQ(chart.Count(static_cast<TSeries>(i)), 0);
    EXPECT_EQ(w->mem_HEX().Lines().Count(), 0);
    EXPECT_EQ(w->mem_Status().Lines().Count(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Caption(*w, "lbl_WerteAnz") == "Anzahl der Messwerte: 0"; }, 1000));
    EXPECT_FALSE(chart.HasSavedZoom());
    EXPECT_TRUE(chart.Automatic(TChartAxis::Bottom));
    EXPECT_EQ(d.MeasureCount, 0);
    EXPECT_EQ(d.LastStatus, 0) << "the last status is kept";
}

TEST_F(UGlowKiteTest, ReplacingTheHexLinesFillsThePaneAtOnce)
{
    auto w = Start();
    TLineStore lines;
    lines.Append("a");
    lines.Append("b");
    w->ReplaceHexLines(std::move(lines));
    ASSERT_EQ(w->mem_HEX().Lines().Count(), 2);
    EXPECT_EQ(w->mem_HEX().Lines().Line(1), "b");
}

TEST_F(UGlowKiteTest, ClosingWritesTheKeysInOrder)
{
    auto w = Start();
    const int chartHeight = w->ChartHeight();
    const int panel1Width = DefaultPanel1Width(*w);
    w->close();
    EXPECT_EQ(KeysInOrder(Ini()),
              (std::vector<std::string>{"Window/Main.Left", "Window/Main.Top", "Window/Main.With",
                                        "Window/Main.Heigth", "Window/Chart.Heigth", "Window/Panel1.With",
                                        "Parameter/AllData2Chart", "Parameter/GlowkiteVersion",
                                        "Parameter/Intervall", "Parameter/DatenTimeout", "Parameter/Desktopmeldung",
                                        "Graph/xPosActive", "Graph/yPosActive", "Graph/Gain"}));
    TIniFile ini(dir / "glowkite.INI");
    EXPECT_EQ(ini.ReadString("Window", "Main.With", ""), "640");
    EXPECT_EQ(ini.ReadString("Window", "Main.Heigth", ""), "480");
    EXPECT_EQ(ini.ReadInteger("Window", "Chart.Heigth", 0), chartHeight);
    EXPECT_EQ(ini.ReadInteger("Window", "Panel1.With", 0), panel1Width);
    EXPECT_EQ(ini.ReadString("Parameter", "AllData2Chart", ""), "1");
    EXPECT_EQ(ini.ReadString("Parameter", "GlowkiteVersion", ""), "0");
    EXPECT_EQ(ini.ReadString("Parameter", "Intervall", ""), "60");
    EXPECT_EQ(ini.ReadString("Parameter", "DatenTimeout", ""), "5");
    EXPECT_EQ(ini.ReadString("Parameter", "Desktopmeldung", ""), "0");
    EXPECT_EQ(ini.ReadString("Graph", "Gain", ""), "0");
}

TEST_F(UGlowKiteTest, ExitWritesTheSettingsLikeTheCloseButton)
{
    auto w = Start();
    w->findChild<QAction *>("act_Exit")->trigger();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(KeysInOrder(Ini()).size(), 14u);
}

TEST_F(UGlowKiteTest, SettingsComeBackAtTheNextStart)
{
    // Wide enough for a 300 wide Panel1 beside the controls in every style.
    SetIni("[Window]\r\nMain.Left=10\r\nMain.Top=20\r\nMain.With=760\r\nMain.Heigth=560\r\n"
           "Chart.Heigth=250\r\nPanel1.With=300\r\n"
           "[Parameter]\r\nAllData2Chart=0\r\nGlowkiteVersion=1\r\nIntervall=5\r\nDatenTimeout=9\r\n"
           "Desktopmeldung=1\r\n[Graph]\r\nxPosActive=1\r\nyPosActive=0\r\nGain=1\r\n");
    const std::string before = Ini();
    {
        auto w = Start();
        EXPECT_EQ(w->frameGeometry(), QRect(10, 20, 760, 560));
        EXPECT_EQ(w->ChartHeight(), 250);
        EXPECT_EQ(w->Panel1Width(), 300);
        TMeasurementDecoder &d = w->Decoder();
        EXPECT_FALSE(d.AllData2Chart);
        EXPECT_TRUE(d.GlowkiteVersion);
        EXPECT_EQ(d.Intervall, 5);
        EXPECT_EQ(w->Health().DatenTimeout, 9);
        EXPECT_TRUE(w->Desktopmeldung);
        EXPECT_TRUE(d.xPosActive);
        EXPECT_FALSE(d.yPosActive);
        EXPECT_TRUE(d.Gain);
        EXPECT_EQ(Caption(*w, "lbl_protocol"), "glowkite");
        EXPECT_TRUE(w->Chart().IsVisible(TSeries::XPos));
        EXPECT_FALSE(w->Chart().IsVisible(TSeries::YPos));
        EXPECT_TRUE(w->Chart().IsVisible(TSeries::Gain));
        w->close();
    }
    EXPECT_EQ(Ini(), before) << "an unchanged window writes the same values back";
}

TEST_F(UGlowKiteTest, ChangesMadeInTheWindowReachTheFileAtClose)
{
    auto w = Start();
    w->Decoder().GlowkiteVersion = true; // as the protocol detection does
    w->move(33, 44);
    w->resize(800, 600);
    ProcessEvents(20);
    const QRect outer = w->frameGeometry();
    EXPECT_GE(outer.width(), 800);
    w->close();
    TIniFile ini(dir / "glowkite.INI");
    EXPECT_TRUE(ini.ReadBool("Parameter", "GlowkiteVersion", false));
    EXPECT_EQ(ini.ReadInteger("Window", "Main.Left", 0), 33);
    EXPECT_EQ(ini.ReadInteger("Window", "Main.Top", 0), 44);
    EXPECT_EQ(ini.ReadInteger("Window", "Main.With", 0), outer.width()) << "the outer size";
    EXPECT_EQ(ini.ReadInteger("Window", "Main.Heigth", 0), outer.height());
    EXPECT_GT(ini.ReadInteger("Window", "Chart.Heigth", 0), 300) << "the chart takes the room";
}

struct ValueCase {
    const char *section, *key, *text;
    int expected;
};

class UGlowKiteValueTest : public UGlowKiteTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(UGlowKiteValueTest, ValueTextsReadAsTheProfileFunctionsReadThem)
{
    const ValueCase c = GetParam();
    SetIni(std::string("[") + c.section + "]\r\n" + c.key + "=" + c.text + "\r\n");
    auto w = Start();
    const TMeasurementDecoder &d = w->Decoder();
    const std::string key = c.key;
    const int actual = key == "Intervall"       ? d.Intervall
                       : key == "AllData2Chart" ? d.AllData2Chart
                       : key == "Gain"          ? d.Gain
                                                : -999;
    EXPECT_EQ(actual, c.expected) << c.key << "=" << c.text;
}

INSTANTIATE_TEST_SUITE_P(EdgeCases, UGlowKiteValueTest,
                         ::testing::Values(ValueCase{"Parameter", "Intervall", "0x0A", 10},
                                           ValueCase{"Parameter", "Intervall", "$A", 10},
                                           ValueCase{"Parameter", "Intervall", "abc", 60},
                                           ValueCase{"Parameter", "AllData2Chart", "yes", 1},
                                           ValueCase{"Parameter", "AllData2Chart", "0", 0},
                                           ValueCase{"Graph", "Gain", "2", 1},
                                           ValueCase{"Graph", "Gain", "-1", 1}));

TEST_F(UGlowKiteTest, ABooleanTwoIsWrittenBackAsOne)
{
    SetIni("[Graph]\r\nGain=2\r\n");
    Start()->close();
    EXPECT_EQ(TIniFile(dir / "glowkite.INI").ReadString("Graph", "Gain", ""), "1");
}

TEST_F(UGlowKiteTest, AnIntervallBelowOneCountsAsSixty)
{
    SetIni("[Parameter]\r\nIntervall=0\r\n");
    auto w = Start();
    TMeasurementDecoder &d = w->Decoder();
    for (int i = 0; i < 61; ++i)
        d.AddMeasurement("05.03.2012 14:07:09", 20, 0, 0, 0, 128);
    EXPECT_EQ(w->Chart().Count(TSeries::AQ), 2) << "measurements 0 and 60";
}

TEST_F(UGlowKiteTest, TheInterfaceSectionIsKeptUnchanged)
{
    const std::string iface = "[Interface]\r\nPort=COM3\r\nBaudrate=35710\r\n; the adapter on the desk\r\n";
    SetIni(iface);
    Start()->close();
    const std::string after = Ini();
    EXPECT_NE(after.find(iface), std::string::npos) << after;
    for (const char *section : {"[Window]", "[Parameter]", "[Graph]"})
        EXPECT_NE(after.find(section), std::string::npos) << section;
    EXPECT_EQ(TIniFile(dir / "glowkite.INI").ReadString("Interface", "Port", ""), "COM3");
}

TEST_F(UGlowKiteTest, ASettingsFileThatCannotBeWrittenIsReportedAndTheWindowStillCloses)
{
    // A plain file where the folder of the settings file should be.
    WriteFile(dir / "blocked", "");
    ProgramPaths paths = Paths();
    paths.IniFile = dir / "blocked/glowkite.INI";
    auto w = std::make_unique<TForm_GlowKite>(paths);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    auto box = CloseNextMessageBox();
    w->close();
    EXPECT_FALSE(w->isVisible());
    ASSERT_TRUE(box->shown);
    EXPECT_EQ(box->text.toStdString(), "In " + paths.IniFile + " kann nicht geschrieben werden");
    EXPECT_EQ(box->icon, QMessageBox::Critical);
}

TEST_F(UGlowKiteTest, AnErrorInAMenuEntryIsShownAndTheWindowGoesOn)
{
    auto w = Start(); // no dialogs attached: the entry fails
    auto box = CloseNextMessageBox();
    w->findChild<QAction *>("act_Option")->trigger();
    ASSERT_TRUE(box->shown);
    EXPECT_FALSE(box->text.isEmpty());
    EXPECT_TRUE(w->isVisible());
}

} // namespace

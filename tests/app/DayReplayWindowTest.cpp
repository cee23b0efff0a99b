// The day replay in the main window: the calendar's bold days, the double
// click, the progress dialog, the warnings and errors, the command-line
// open, and a replay while a recording writes today's file.
#include "app/ui/ChartAdapter.h"
#include "gui/Cp1252.h"
#include "app/Program.h"
#include "app/ui/TextLinesModel.h"
#include "app/UGlowKite.h"
#include "logging/UProgres.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"
#include "sim/DetectorSimulator.h"

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QLabel>
#include <QProgressBar>
#include <QTableView>
#include <QTextCharFormat>

#include <filesystem>
#include <set>
#include <sstream>
#include <sys/stat.h>

using namespace glowkite;
using namespace glowkite::test;

namespace {

// n stored lines of the day "dd.mm.yyyy", one frame a second from 10:00:00.
std::vector<std::string> DayLines(int n, const std::string &date, TSimOptions options = {})
{
    options.statusRun = true;
    options.framesPerStatus = 7;
    options.aqRamp = true;
    TDetectorSimulator sim(options);
    std::vector<std::string> lines;
    for (int i = 0; i < n; ++i) {
        char label[32];
        std::snprintf(label, sizeof label, "%s %02d:%02d:%02d", date.c_str(), 10 + i / 3600, i / 60 % 60, i % 60);
        lines.push_back(RxLine(label, sim.NextFrame().bytes));
    }
    return lines;
}

std::string Joined(const std::vector<std::string> &lines)
{
    std::string bytes;
    for (const std::string &l : lines)
        bytes += l + "\r\n";
    return bytes;
}

std::vector<std::string> FileLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> PaneLines(TTextPane &pane)
{
    std::vector<std::string> lines;
    for (int i = 0; i < pane.Lines().Count(); ++i)
        lines.emplace_back(pane.Lines().Line(i));
    return lines;
}

// Whether this process holds a descriptor of the file.
bool FileIsOpen(const std::string &path)
{
    for (const auto &fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(fd.path(), ec) == path)
            return true;
    }
    return false;
}

// Counts the showing and hiding of a widget.
struct TShowCounter : QObject {
    int shown = 0, hidden = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        shown += e->type() == QEvent::Show;
        hidden += e->type() == QEvent::Hide;
        return false;
    }
};

class DayReplayWindowTest : public ::testing::Test {
protected:
    DayReplayWindowTest()
    {
        std::filesystem::create_directories(dir / "LOG");
        program = std::make_unique<TProgram>(PathsIn(dir));
        W().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&W()));
        ProcessEvents(20);
        Pgb().installEventFilter(&pgbShows);
    }

    TForm_GlowKite &W() { return *program->Form_GlowKite; }
    TForm_pgb &Pgb() { return *program->Form_pgb; }
    TChartAdapter &Chart() { return W().Chart(); }

    std::string DayFile(const QDate &d) { return W().DayFileName(TDay{d.year(), d.month(), d.day()}); }
    std::string WriteDay(const QDate &d, const std::vector<std::string> &lines)
    {
        const std::string path = DayFile(d);
        WriteFile(path, Joined(lines));
        return path;
    }
    bool Bold(const QDate &d) { return W().MonthCalendar().dateTextFormat(d).fontWeight() == QFont::Bold; }
    // The count label once it has caught up (it follows at the display rate).
    QString CountLabel()
    {
        ProcessEvents(2 * TTextLinesModel::PublishIntervalMs);
        return W().findChild<QLabel *>("lbl_WerteAnz")->text();
    }

    // A double click on the cell of day d, which the calendar shows.
    void DoubleClickDay(const QDate &d) { ASSERT_TRUE(DoubleClickCalendarDay(W().MonthCalendar(), d)) << "day not shown"; }

    RuntimeDirOverride runtime;
    TempDir dir;
    std::unique_ptr<TProgram> program;
    TShowCounter pgbShows;
};

const QDate March5{2012, 3, 5};

TEST_F(DayReplayWindowTest, DaysWithAFileAreBoldInTheShownAndNeighbouringMonths)
{
    for (QDate d : {QDate(2012, 3, 3), QDate(2012, 3, 17), QDate(2012, 2, 29), QDate(2012, 4, 2), QDate(2012, 5, 9)})
        WriteDay(d, DayLines(1, d.toString("dd.MM.yyyy").toStdString()));
    W().MonthCalendar().setCurrentPage(2012, 3);
    EXPECT_TRUE(Bold(QDate(2012, 3, 3)));
    EXPECT_TRUE(Bold(QDate(2012, 3, 17)));
    EXPECT_FALSE(Bold(QDate(2012, 3, 4)));
    EXPECT_TRUE(Bold(QDate(2012, 2, 29))) << "the end of February is shown in part";
    EXPECT_TRUE(Bold(QDate(2012, 4, 2)));
    EXPECT_FALSE(Bold(QDate(2012, 5, 9))) << "not shown";

    W().MonthCalendar().setCurrentPage(2012, 5);
    EXPECT_TRUE(Bold(QDate(2012, 5, 9)));
    EXPECT_TRUE(Bold(QDate(2012, 4, 2)));
    EXPECT_FALSE(Bold(QDate(2012, 3, 17))) << "two months away";
}

TEST_F(DayReplayWindowTest, TodayTurnsBoldOnceTheRecordingCreatesItsFile)
{
    const QDate today = QDate::currentDate();
    W().MonthCalendar().setCurrentPage(today.year(), today.month());
    ASSERT_FALSE(Bold(today));
    TDetectorSimulator sim({});
    for (int i = 0; i < 3; ++i)
        for (std::uint8_t b : sim.NextFrame().bytes)
            W().Receiver().Receive(b);
    ASSERT_TRUE(std::filesystem::exists(DayFile(today)));
    EXPECT_TRUE(Bold(today)) << "without leaving the month";
}

TEST_F(DayReplayWindowTest, ADoubleClickReplaysTheSelectedDay)
{
    const std::vector<std::string> lines = DayLines(300, "05.03.2012");
    const std::string path = WriteDay(March5, lines);
    W().Decoder().Intervall = 1;
    DoubleClickDay(March5);

    EXPECT_EQ(W().MonthCalendar().selectedDate(), March5);
    EXPECT_EQ(PaneLines(W().mem_HEX()), lines);
    EXPECT_EQ(Chart().Count(TSeries::AQ), 300);
    EXPECT_EQ(Chart().Label(TSeries::AQ, 299), lines[299].substr(0, 19));
    EXPECT_EQ(CountLabel(), "Anzahl der Messwerte: 300");
    EXPECT_GT(W().mem_Status().Lines().Count(), 10);
    EXPECT_EQ(W().WarningNotice().Count(), 0);
    EXPECT_EQ(pgbShows.shown, 1);
    EXPECT_FALSE(Pgb().isVisible());
    EXPECT_EQ(Pgb().windowTitle(), "Daten einlesen");
    EXPECT_EQ(Pgb().lbl_wait->text(), "Bitte warten");
    EXPECT_EQ(Pgb().lbl_Pgb->text(), QString::fromStdString("Daten werden gelsen aus Datei " + path));
    EXPECT_FALSE(FileIsOpen(path));
    // A replay writes nothing to the status log.
    for (const auto &f : std::filesystem::directory_iterator(dir / "LOG"))
        EXPECT_EQ(f.path().extension(), ".glow") << f.path();
}

TEST_F(DayReplayWindowTest, AMissingDayWarnsNamingTheFileInTheLogFolderAndLeavesTheDisplayEmpty)
{
    W().Decoder().AddMeasurement("05.03.2012 10:00:00", 20, 1, 0, 0, 128);
    W().AppendHexLine("old");
    DoubleClickDay(March5);
    ASSERT_EQ(W().WarningNotice().Count(), 1);
    EXPECT_EQ(W().WarningNotice().Text(),
              QString::fromStdString("Datei " + dir / "LOG/glowkite_120305.glow" + " existiert nicht"));
    EXPECT_EQ(Chart().Count(TSeries::AQ), 0);
    EXPECT_EQ(W().mem_HEX().Lines().Count(), 0);
    EXPECT_EQ(W().mem_Status().Lines().Count(), 0);
    EXPECT_EQ(pgbShows.shown, 0);
}

TEST_F(DayReplayWindowTest, AnEmptyDayFileShowsAndHidesTheDialog)
{
    WriteDay(March5, {});
    W().AppendHexLine("old");
    DoubleClickDay(March5);
    EXPECT_EQ(pgbShows.shown, 1);
    EXPECT_EQ(pgbShows.hidden, 1);
    EXPECT_EQ(CountLabel(), "Anzahl der Messwerte: 0");
    EXPECT_EQ(W().mem_HEX().Lines().Count(), 0);
}

TEST_F(DayReplayWindowTest, AnOldProtocolDayUnderTheNewProtocolWarnsOnce)
{
    TSimOptions old;
    old.oldProtocol = true;
    WriteDay(March5, DayLines(50, "05.03.2012", old));
    ASSERT_FALSE(W().Decoder().GlowkiteVersion);
    DoubleClickDay(March5);
    EXPECT_EQ(W().WarningNotice().Count(), 1);
    EXPECT_EQ(W().WarningNotice().Text(), MessageText(ProtocolOldMessage));
    EXPECT_FALSE(W().Decoder().GlowkiteVersion) << "the live receiver keeps its protocol";
    EXPECT_EQ(W().findChild<QLabel *>("lbl_protocol")->text(), "glowkite") << "the protocol of the chart";
    EXPECT_EQ(W().mem_HEX().Lines().Count(), 50);
    W().btn_ClearClick();
    EXPECT_EQ(W().findChild<QLabel *>("lbl_protocol")->text(), "glowkite +");
}

TEST_F(DayReplayWindowTest, MixedProtocolsWarnOncePerSwitch)
{
    std::vector<std::string> lines = DayLines(10, "05.03.2012");
    TSimOptions old;
    old.oldProtocol = true;
    for (const auto &part : {DayLines(10, "05.03.2012", old), DayLines(10, "05.03.2012"), DayLines(10, "05.03.2012", old)})
        lines.insert(lines.end(), part.begin(), part.end());
    WriteDay(March5, lines);
    DoubleClickDay(March5);
    EXPECT_EQ(W().WarningNotice().Count(), 3);
    EXPECT_EQ(W().WarningNotice().Text(), MessageText(ProtocolOldMessage));
    EXPECT_EQ(PaneLines(W().mem_HEX()), lines);
}

TEST_F(DayReplayWindowTest, AHundredLinesSetTheProgressMaximumTo92AndFillTheBar)
{
    const std::string path = WriteDay(March5, DayLines(100, "05.03.2012"));
    ASSERT_EQ(std::filesystem::file_size(path), 10200u);
    DoubleClickDay(March5);
    EXPECT_EQ(Pgb().pgb_Read->minimum(), 0);
    EXPECT_EQ(Pgb().pgb_Read->maximum(), 92);
    EXPECT_EQ(Pgb().pgb_Read->value(), 92);
}

TEST_F(DayReplayWindowTest, BadLinesAreSkippedAndReportedInOneWarning)
{
    std::vector<std::string> lines = DayLines(20, "05.03.2012");
    lines[11] = "05.03.2012 10:00:11  RX: 00 A1 zz";
    lines[15] = std::string("05.03.2012 10:00:15  RX: 00 A1 2A \0", 35) + lines[15].substr(35);
    const std::string path = WriteDay(March5, lines);
    W().Decoder().Intervall = 1;
    DoubleClickDay(March5);
    ProcessEvents();
    EXPECT_EQ(W().ErrorNotice().Count(), 0);
    const QString text = W().WarningNotice().Text();
    EXPECT_TRUE(text.startsWith(QString::fromStdString("2 lines of " + path +
                                                       " cannot be replayed and were skipped; the first is line 12")))
        << text.toStdString();
    EXPECT_FALSE(Pgb().isVisible());
    EXPECT_FALSE(FileIsOpen(path));
    EXPECT_FALSE(W().Replaying());
    EXPECT_EQ(Chart().Count(TSeries::AQ), 18) << "every good line is shown";
    lines.erase(lines.begin() + 15);
    lines.erase(lines.begin() + 11);
    EXPECT_EQ(PaneLines(W().mem_HEX()), lines);
}

TEST_F(DayReplayWindowTest, OnlyRegularFilesAreDayFiles)
{
    // A FIFO, a folder and a link to /dev/zero named like day files (on
    // Windows, which has neither FIFOs nor /dev/zero, the folder): never
    // bold, and a replay says what they are without blocking.
#ifdef _WIN32
    const std::vector<int> odd{4};
#else
    const std::vector<int> odd{3, 4, 6};
    ASSERT_EQ(::mkfifo(DayFile(QDate(2012, 3, 3)).c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", DayFile(QDate(2012, 3, 6)));
#endif
    std::filesystem::create_directory(DayFile(QDate(2012, 3, 4)));
    WriteDay(QDate(2012, 3, 7), DayLines(1, "07.03.2012"));
    W().MonthCalendar().setCurrentPage(2012, 4);
    W().MonthCalendar().setCurrentPage(2012, 3);
    for (int d : odd)
        EXPECT_FALSE(Bold(QDate(2012, 3, d))) << d;
    EXPECT_TRUE(Bold(QDate(2012, 3, 7)));
    for (int d : odd) {
        auto box = CloseNextMessageBox();
        DoubleClickDay(QDate(2012, 3, d));
        ProcessEvents();
        ASSERT_TRUE(box->shown) << d;
        EXPECT_TRUE(box->text.contains("is not a regular file")) << box->text.toStdString();
        EXPECT_FALSE(Pgb().isVisible());
    }
}

TEST_F(DayReplayWindowTest, AReplayLeavesTheLiveProtocolAndStatusLogAlone)
{
    // Live: "glowkite +", status 00. The replayed day: "glowkite", status 01.
    // During the replay the live status turns 01.
    TSimOptions old;
    old.oldProtocol = true;
    TDetectorSimulator replayed(old);
    std::vector<std::string> lines;
    for (int i = 0; i < 3000; ++i) {
        std::vector<std::uint8_t> f = replayed.NextFrame().bytes;
        f[3] = 0x01;
        lines.push_back(RxLine("05.03.2012 10:00:00", f));
    }
    WriteDay(March5, lines);
    W().ReplayPumpInterval = std::chrono::milliseconds(0);
    W().ReplayProgressEvery = 100;
    TDetectorSimulator detector({});
    auto liveFrame = [&](std::uint8_t flags) {
        std::vector<std::uint8_t> f = detector.NextFrame().bytes;
        f[3] = flags;
        for (std::uint8_t b : f)
            W().Receiver().Receive(b);
    };
    liveFrame(0x00);
    int live = 0;
    QTimer frames;
    frames.setInterval(0);
    QObject::connect(&frames, &QTimer::timeout, [&] {
        if (W().Replaying())
            liveFrame(++live > 3 ? 0x01 : 0x00);
    });
    frames.start();
    DoubleClickDay(March5);
    frames.stop();
    ASSERT_GT(live, 5);

    EXPECT_FALSE(W().Decoder().GlowkiteVersion);
    EXPECT_EQ(W().Decoder().LastStatus, 0x01);
    EXPECT_EQ(W().WarningNotice().Count(), 1) << "one switch: the replay's, no live switches";
    EXPECT_EQ(W().findChild<QLabel *>("lbl_protocol")->text(), "glowkite");
    std::vector<std::string> logged;
    for (const auto &f : std::filesystem::directory_iterator(dir / "LOG"))
        if (f.path().extension() == ".log")
            for (const std::string &l : FileLines(f.path().string()))
                logged.push_back(l.substr(LabelLength));
    EXPECT_EQ(logged, (std::vector<std::string>{"  00   Normal", "  01   Alarm "}));
}

TEST_F(DayReplayWindowTest, ADayFileThatCannotBeOpenedIsAnErrorBeforeTheDialogShows)
{
    const std::string path = WriteDay(March5, DayLines(5, "05.03.2012"));
#ifdef _WIN32
    FileHeldExclusively held(path);
    ASSERT_TRUE(held.Held());
#else
    PermissionsEnforced enforced;
    std::filesystem::permissions(path, std::filesystem::perms::none);
#endif
    W().AppendHexLine("old");
    auto box = CloseNextMessageBox();
    DoubleClickDay(March5);
    ProcessEvents();
    ASSERT_TRUE(box->shown);
    EXPECT_TRUE(box->text.contains(QString::fromStdString("Cannot open " + path))) << box->text.toStdString();
    EXPECT_EQ(W().mem_HEX().Lines().Count(), 0) << "the display was cleared first";
    EXPECT_EQ(pgbShows.shown, 0);
    EXPECT_FALSE(W().Replaying());
}

TEST_F(DayReplayWindowTest, AReplayNeverKeepsARunningRecordingFromWritingTodaysFile)
{
    const QDate today = QDate::currentDate();
    const std::vector<std::string> lines = DayLines(4000, today.toString("dd.MM.yyyy").toStdString());
    const std::string path = WriteDay(today, lines);
    W().Decoder().Intervall = 1;
    W().ReplayPumpInterval = std::chrono::milliseconds(0);
    W().ReplayProgressEvery = 200;

    // Frames arrive whenever the replay lets the window serve its events.
    TDetectorSimulator detector({});
    int live = 0;
    std::set<int> barPositions;
    QTimer frames;
    frames.setInterval(0);
    QObject::connect(&frames, &QTimer::timeout, [&] {
        if (!W().Replaying())
            return;
        for (std::uint8_t b : detector.NextFrame().bytes)
            W().Receiver().Receive(b);
        ++live;
        barPositions.insert(Pgb().pgb_Read->value());
    });
    frames.start();
    DoubleClickDay(today);
    frames.stop();

    ASSERT_GT(live, 0);
    EXPECT_GT(barPositions.size(), 3u) << "the bar moves meanwhile";
    EXPECT_EQ(W().ErrorNotice().Count(), 0);
    const std::vector<std::string> written = FileLines(path);
    ASSERT_EQ(written.size(), lines.size() + static_cast<std::size_t>(live));
    EXPECT_TRUE(std::equal(lines.begin(), lines.end(), written.begin()));
    EXPECT_EQ(PaneLines(W().mem_HEX()), lines) << "the file as it was when the replay began";
    EXPECT_EQ(Chart().Count(TSeries::AQ), static_cast<int>(lines.size()) + live);
}

TEST_F(DayReplayWindowTest, ADoubleClickDuringAReplayStartsNoSecondReplay)
{
    const std::vector<std::string> lines = DayLines(3000, "05.03.2012");
    WriteDay(March5, lines);
    W().ReplayPumpInterval = std::chrono::milliseconds(0);
    W().ReplayProgressEvery = 500;
    W().Decoder().Intervall = 1;
    int tries = 0;
    QTimer again;
    again.setInterval(0);
    QObject::connect(&again, &QTimer::timeout, [&] {
        if (W().Replaying() && tries < 3) {
            ++tries;
            emit W().MonthCalendar().activated(March5);
        }
    });
    again.start();
    DoubleClickDay(March5);
    again.stop();
    ASSERT_GT(tries, 0);
    EXPECT_EQ(pgbShows.shown, 1);
    EXPECT_EQ(PaneLines(W().mem_HEX()), lines);
    EXPECT_EQ(Chart().Count(TSeries::AQ), 3000) << "each line decoded once";
}

TEST_F(DayReplayWindowTest, ADayFileNamedAtStartIsReplayedWithTheCalendarOnItsDay)
{
    std::filesystem::create_directories(dir / "elsewhere");
    const std::string path = dir / "elsewhere/glowkite_120305.glow";
    const std::vector<std::string> lines = DayLines(40, "05.03.2012");
    WriteFile(path, Joined(lines));
    program->OpenAtStart(path);
    EXPECT_EQ(W().mem_HEX().Lines().Count(), 0) << "once the event loop runs";
    ProcessEvents();
    EXPECT_EQ(W().MonthCalendar().selectedDate(), March5);
    EXPECT_EQ(W().MonthCalendar().monthShown(), 3);
    EXPECT_EQ(PaneLines(W().mem_HEX()), lines);
    EXPECT_EQ(pgbShows.shown, 1);

    program->OpenAtStart(dir / "elsewhere/glowkite_120306.glow");
    ProcessEvents();
    EXPECT_EQ(W().WarningNotice().Text(),
              QString::fromStdString("Datei " + dir / "elsewhere/glowkite_120306.glow" + " existiert nicht"));
    EXPECT_EQ(W().MonthCalendar().selectedDate(), QDate(2012, 3, 6));
}

} // namespace

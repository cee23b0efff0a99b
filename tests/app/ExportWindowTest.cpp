// The window's exports: the chart as a picture, the shown points as CSV,
// the same rows as glowkite-cli export --points.
#include "app/core/DayReplay.h"
#include "app/UGlowKite.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"
#include "sim/DetectorSimulator.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <cstdio>

using namespace glowkite;
using namespace glowkite::test;

namespace {

class ExportWindowTest : public ::testing::Test {
protected:
    ExportWindowTest() : w(PathsIn(dir)) { w.show(); }

    // A day file of frames from the simulated detector, protocol switch and
    // clamped AQ included.
    std::string WriteDay(int frames)
    {
        TSimOptions o;
        o.statusRun = true;
        o.framesPerStatus = 7;
        o.aqRamp = true;
        o.switchProtocolAfter = frames / 2;
        TDetectorSimulator sim(o);
        std::string bytes;
        for (int i = 0; i < frames; ++i) {
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "05.03.2012 10:%02d:%02d", i / 60 % 60, i % 60);
            bytes += RxLine(stamp, sim.NextFrame().bytes) + "\r\n";
        }
        const std::string path = dir / "glowkite_120305.glow";
        WriteFile(path, bytes);
        return path;
    }

    RuntimeDirOverride runtime;
    TempDir dir;
    TForm_GlowKite w;
};

} // namespace

TEST_F(ExportWindowTest, TheFileMenuOffersBothExportsBeforeBeenden)
{
    QMenu *file = nullptr;
    for (QAction *a : w.menuBar()->actions())
        if (a->text() == QStringLiteral("&Datei"))
            file = a->menu();
    ASSERT_TRUE(file);
    QStringList entries;
    for (QAction *a : file->actions())
        entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(entries, (QStringList{QStringLiteral("Diagramm speichern..."), QStringLiteral("Daten exportieren..."),
                                    QStringLiteral("-"), QStringLiteral("&Beenden")}));
}

TEST_F(ExportWindowTest, TheChartAsPngAndAsPdf)
{
    w.Decoder().AddMeasurement("05.03.2012 10:00:00", 20, 1, 0, 0, 128);
    w.SaveChart(QString::fromStdString(dir / "chart.png"));
    w.SaveChart(QString::fromStdString(dir / "chart.pdf"));
    EXPECT_EQ(ReadFile(dir / "chart.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(ReadFile(dir / "chart.pdf").substr(0, 5), "%PDF-");
    EXPECT_THROW(w.SaveChart(QString::fromStdString(dir / "no/such/folder/chart.png")), std::runtime_error);
}

TEST_F(ExportWindowTest, TheShownPointsAgreeWithTheCommandLineExport)
{
    const std::string day = WriteDay(400);
    for (const bool changesOnly : {false, true}) {
        w.Decoder().AllData2Chart = !changesOnly;
        w.Decoder().Intervall = 10;
        TQuietReplayEvents quiet;
        TDayReplay(w.Decoder(), quiet).LoadFromFile(day);
        const std::string mine = dir / "window.csv";
        w.ExportData(QString::fromStdString(mine));

        const std::string cli = dir / "cli.csv";
        const std::string cmd = std::string(GLOWKITE_CLI) + " export " + day + " --points --interval 10 " +
                                (changesOnly ? "--changes-only " : "") + "-o " + cli + " 2>/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        const std::string expected = ReadFile(cli);
        EXPECT_GT(expected.size(), 1000u);
        EXPECT_EQ(ReadFile(mine), expected) << (changesOnly ? "changes only" : "every 10th");
        // The clamped AQ points keep their own colour in the export.
        EXPECT_NE(expected.find(",119,05.03.2012"), std::string::npos);
        EXPECT_NE(expected.find("#0080FF"), std::string::npos);
    }

    w.ExportData(QString::fromStdString(dir / "excel.csv"), true);
    EXPECT_EQ(ReadFile(dir / "excel.csv").substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_THROW(w.ExportData(QString::fromStdString(dir / "no/such/x.csv")), std::runtime_error);
}

// The whole road of a frame, offscreen: the simulated detector on a
// pseudo-terminal, the program's serial component, the window, its files.
#include "app/ui/ChartAdapter.h"
#include "app/core/FrameReceiver.h"
#include "app/Program.h"
#include "app/StartOptions.h"
#include "app/ui/TextLinesModel.h"
#include "app/UGlowKite.h"
#include "portcfg/UCom.h"
#include "serial/SerComm.h"
#include "support/ProgramRig.h"
#include "sim/SimulatorPort.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

using namespace glowkite;
using namespace glowkite::test;

namespace {

using RecordingWindowTest = ProgramRig;

} // namespace

TEST_F(RecordingWindowTest, EveryFrameReachesTheDayFileTheStatusLogAndTheChart)
{
    TSimOptions o;
    o.statusRun = true;
    o.framesPerStatus = 25;
    o.garbageMax = 3;
    Detector(o);
    Action("act_Start")->trigger();
    ExpectState("verbunden", false, true, false);
    EXPECT_EQ(program->FComCfg->SerialComm().UserBaudrate(), 35710);
    sim->Start(600);
    ASSERT_TRUE(WaitFor([&] { return w->mem_HEX().Lines().Count() == 600; })) << w->mem_HEX().Lines().Count();

    // Exactly one byte-exact line per frame sent, CR LF, in the pane and the file.
    const std::string day = LogFile(".glow");
    EXPECT_EQ(Lines(day), 600u);
    EXPECT_EQ(day.size(), 600u * 102u);
    std::size_t pos = 0;
    for (int i = 0; i < 600; ++i, pos += 102)
        ASSERT_EQ(day.substr(pos, 100), w->mem_HEX().Lines().Line(i)) << i;

    // One status line per change of the flags: the run has 13 steps of 25 frames.
    const std::string status = LogFile(".log");
    EXPECT_EQ(Lines(status), static_cast<std::size_t>(w->mem_Status().Lines().Count()));
    EXPECT_GE(Lines(status), 20u);
    EXPECT_NE(status.find("  03   Alarm ;St\xF6rung \r\n"), std::string::npos);

    // The chart and the count label agree.
    const int points = w->Chart().Count(TSeries::Status);
    const QLabel *count = w->findChild<QLabel *>(QStringLiteral("lbl_WerteAnz"));
    EXPECT_TRUE(WaitFor([&] { return count->text() == QStringLiteral("Anzahl der Messwerte: %1").arg(points); }, 1000))
        << count->text().toStdString() << " for " << points;
    EXPECT_GT(points, 0);

    Action("act_Stopp")->trigger();
    ExpectState("getrennt", true, false, true);
    EXPECT_EQ(w->PanelText(3), QStringLiteral(" Status"));
}

TEST_F(RecordingWindowTest, AProtocolSwitchWarnsOnceWithoutStoppingReception)
{
    TSimOptions o;
    o.switchProtocolAfter = 50; // "glowkite +" in force, then the old protocol
    Detector(o);
    Action("act_Start")->trigger();
    sim->Start(200);
    ASSERT_TRUE(WaitFor([&] { return w->mem_HEX().Lines().Count() == 200; }));
    EXPECT_EQ(w->WarningNotice().Count(), 1);
    EXPECT_TRUE(w->WarningNotice().IsVisible()); // open, and the frames went on arriving
    EXPECT_EQ(w->WarningNotice().Text(),
              QStringLiteral("Protokoll glowkite erkannt\r\nUmgeschaltet auf glowkite Protokoll"));
    EXPECT_EQ(w->findChild<QLabel *>(QStringLiteral("lbl_protocol"))->text(), QStringLiteral("glowkite"));
    EXPECT_EQ(Lines(LogFile(".glow")), 200u);
}

TEST_F(RecordingWindowTest, StopRightAfterStartAndAPortThatCannotBeOpened)
{
    ExpectState("getrennt", true, true, true); // after program start
    Action("act_Stopp")->trigger();
    ExpectState("getrennt", true, false, true);
    EXPECT_EQ(w->PanelText(3), QStringLiteral(" Status"));

    program->FComCfg->SerialComm().SetDeviceName((dir.path() / "ttyNONE").string());
    auto seen = CloseNextMessageBox();
    Action("act_Start")->trigger();
    ASSERT_TRUE(seen->shown);
    EXPECT_TRUE(seen->text.startsWith(QStringLiteral("Specified device not found ("))) << seen->text.toStdString();
    ExpectState("getrennt", true, false, true);
}

TEST_F(RecordingWindowTest, ThePortDialogStopsARecordingAndSetsThePanels)
{
    Detector({});
    Action("act_Start")->trigger();
    ExpectState("verbunden", false, true, false);
    EXPECT_EQ(w->PanelText(1), QStringLiteral("COM1")); // until the dialog is confirmed

    TFComCfg *dialog = program->FComCfg.get();
    const std::string pty = dialog->SerialComm().DeviceName();
    OnNextModal([&](QWidget *) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Konfiguration glowkite Schnittstelle"));
        dialog->btn_Cancel->click();
    });
    // The menu entry is disabled while recording; the handler still stops
    // a recording first when it runs.
    EXPECT_FALSE(Action("act_Port")->isEnabled());
    w->act_PortExecute();
    ExpectState("getrennt", true, false, true); // stopped, not restarted
    EXPECT_FALSE(dialog->SerialComm().Active());
    EXPECT_EQ(w->PanelText(1), QStringLiteral("COM1"));

    OnNextModal([&](QWidget *) {
        dialog->cbx_Com->lineEdit()->clear();
        QTest::keyClicks(dialog->cbx_Com->lineEdit(), QString::fromStdString(pty));
        dialog->btn_Save->click();
    });
    Action("act_Port")->trigger();
    EXPECT_EQ(w->PanelText(1), QString::fromStdString(pty));
    EXPECT_EQ(w->PanelText(2), QStringLiteral(" 8 None 1"));
    EXPECT_NE(ReadFile(dir / "glowkite.INI").find("ComPort=" + pty + "\r\n"), std::string::npos);
}

TEST_F(RecordingWindowTest, APortThatDisappearsEndsTheRecordingVisibly)
{
    Detector({});
    Action("act_Start")->trigger();
    sim->Start(20);
    ASSERT_TRUE(WaitFor([&] { return w->mem_HEX().Lines().Count() == 20; }));
    sim->Hangup(); // the adapter is pulled out
    ASSERT_TRUE(WaitFor([&] { return w->PanelText(0) == QStringLiteral("getrennt"); }));
    EXPECT_EQ(w->Recording()->State(), TRecordingState::WaitingForPort);
    EXPECT_FALSE(program->FComCfg->SerialComm().Active());
    EXPECT_EQ(w->PanelText(3), QStringLiteral("wartet"));
    // Information, in the one notice area the protocol message uses too.
    EXPECT_FALSE(w->ErrorNotice().IsVisible());
    EXPECT_TRUE(w->WarningNotice().IsVisible());
    EXPECT_EQ(w->WarningNotice().ShownKind(), TNoticeBox::Information);
    EXPECT_TRUE(w->WarningNotice().Text().contains(QStringLiteral("unterbrochen")));
    const auto &status = w->mem_Status().Lines();
    EXPECT_NE(std::string(status.Line(status.Count() - 1)).find("unterbrochen"), std::string::npos);
    ExpectState("getrennt", false, true, false); // Stopp ends the waiting

    Action("act_Stopp")->trigger();
    ExpectState("getrennt", true, false, true);
    EXPECT_EQ(w->Recording()->State(), TRecordingState::Stopped);
}

TEST_F(RecordingWindowTest, TheDemoKeepsItsFramesAndItsPortApartFromRealOnes)
{
    // As `glowkite --demo --log-dir DIR/LOG`: the simulated frames go to
    // DIR/LOG-demo, never into the LOG folder given.
    TStartOptions demo;
    demo.Demo = true;
    program->Begin(demo);
    TFComCfg *dialog = program->FComCfg.get();
    const std::string demoPty = dialog->SerialComm().DeviceName();
    ASSERT_TRUE(WaitFor([&] { return w->mem_HEX().Lines().Count() >= 3; }));
    const std::string demoDir = dir / "LOG-demo/";
    EXPECT_EQ(w->LogDir(), demoDir);
    EXPECT_FALSE(std::filesystem::exists(dir / "LOG")) << "no simulated frame in the real folder";
    // The status bar names the port recorded from, not the configured one.
    EXPECT_EQ(w->PanelText(1).toStdString(), demoPty);

    // Confirming the dialog with the simulator's pseudo-terminal keeps it
    // out of the settings file: it is gone with this run.
    OnNextModal([&](QWidget *) { dialog->btn_Save->click(); });
    w->act_PortExecute();
    ASSERT_FALSE(dialog->SerialComm().Active());
    EXPECT_EQ(ReadFile(dir / "glowkite.INI").find(demoPty), std::string::npos) << ReadFile(dir / "glowkite.INI");
    const auto demoLines = [&] {
        for (const auto &e : std::filesystem::directory_iterator(demoDir))
            if (e.path().extension() == ".glow")
                return Lines(ReadFile(e.path().string()));
        return std::size_t{0};
    };
    const std::size_t simulated = demoLines();
    EXPECT_GE(simulated, 3u);

    // A real port chosen in the demo session records into the real folder.
    sim = std::make_unique<TSimulatorPort>(TSimOptions{}, 2000);
    const std::string real = sim->OpenPty();
    OnNextModal([&](QWidget *) {
        dialog->cbx_Com->lineEdit()->clear();
        QTest::keyClicks(dialog->cbx_Com->lineEdit(), QString::fromStdString(real));
        dialog->btn_Save->click();
    });
    w->act_PortExecute();
    EXPECT_NE(ReadFile(dir / "glowkite.INI").find("ComPort=" + real + "\r\n"), std::string::npos);
    EXPECT_EQ(w->PanelText(1).toStdString(), real);
    const int before = w->mem_HEX().Lines().Count();
    Action("act_Start")->trigger();
    EXPECT_EQ(w->LogDir(), dir / "LOG/");
    sim->Start(40);
    ASSERT_TRUE(WaitFor([&] { return w->mem_HEX().Lines().Count() >= before + 40; }));
    EXPECT_EQ(Lines(LogFile(".glow")), 40u);
    EXPECT_EQ(demoLines(), simulated) << "no real frame in the demo folder";
}

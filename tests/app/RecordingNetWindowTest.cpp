// The window recording from a serial device server, offscreen: ser2net on
// localhost bridges the simulated detector's pseudo-terminal; the window
// connects without waiting for the server and shows every frame.
#include "app/Program.h"
#include "app/UGlowKite.h"
#include "app/ui/TextLinesModel.h"
#include "portcfg/UCom.h"
#include "serial/SerComm.h"
#include "support/ProgramRig.h"
#include "support/Ser2Net.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QTimer>

using namespace glowkite;
using namespace glowkite::test;

namespace {
using RecordingNetWindowTest = ProgramRig;
} // namespace

TEST_F(RecordingNetWindowTest, RecordingFromTcpShowsTheFrames)
{
    if (!Ser2NetInstalled())
        GTEST_SKIP() << "ser2net is not installed (scripts/deps installs it)";
    Detector(TSimOptions{}, 500);
    const std::string pty = program->FComCfg->SerialComm().DeviceName();
    Ser2Net server(pty, false);
    program->FComCfg->SerialComm().SetDeviceName(server.Address(false));
    Action("act_Start")->trigger();
    ASSERT_TRUE(WaitFor([&] { return w->PanelText(0) == QStringLiteral("verbunden"); }));
    ExpectState("verbunden", false, true, false);
    ASSERT_TRUE(WaitForClient(server.Port()));
    sim->Start(300);
    ASSERT_TRUE(WaitFor([&] { return w->mem_HEX().Lines().Count() == 300; })) << w->mem_HEX().Lines().Count();
    EXPECT_EQ(Lines(LogFile(".glow")), 300u);
    Action("act_Stopp")->trigger();
    ExpectState("getrennt", true, false, true);
}

TEST_F(RecordingNetWindowTest, AServerThatDoesNotAnswerNeverHoldsTheWindowAndIsNamed)
{
    // Connected, but the Telnet side never answers: the open takes its 3 s.
    SilentListener server;
    const std::string address = "rfc2217://127.0.0.1:" + std::to_string(server.Port());
    program->FComCfg->SerialComm().SetDeviceName(address);
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    QElapsedTimer clock;
    clock.start();
    Action("act_Start")->trigger();
    EXPECT_LT(clock.elapsed(), 1000) << "the start waited for the server";
    ExpectState("getrennt", false, true, false);
    EXPECT_EQ(w->PanelText(3), QStringLiteral("wartet"));
    ASSERT_TRUE(WaitFor([&] { return Action("act_Start")->isEnabled(); }, 15000));
    // About 300 ticks fit in the 3 s; a window held by the connect gets a few.
    EXPECT_GT(ticks, 50);
    ExpectState("getrennt", true, false, true);
    EXPECT_TRUE(w->ErrorNotice().IsVisible()); // a notice, not a modal box
    EXPECT_NE(w->ErrorNotice().Text().toStdString().find(address), std::string::npos)
        << w->ErrorNotice().Text().toStdString();
    EXPECT_NE(w->mem_Status().Lines().Line(w->mem_Status().Lines().Count() - 1).find("Keine Verbindung zu " + address),
              std::string::npos);
}

TEST_F(RecordingNetWindowTest, StopDuringAConnectIsImmediate)
{
    SilentListener server(4); // a full backlog: the handshake hangs
    program->FComCfg->SerialComm().NetTimeout = std::chrono::seconds(30);
    program->FComCfg->SerialComm().SetDeviceName("tcp://127.0.0.1:" + std::to_string(server.Port()));
    Action("act_Start")->trigger();
    EXPECT_FALSE(WaitFor([&] { return Action("act_Start")->isEnabled(); }, 300));
    QElapsedTimer clock;
    clock.start();
    Action("act_Stopp")->trigger();
    EXPECT_LT(clock.elapsed(), 5000);
    ExpectState("getrennt", true, false, true);
    EXPECT_EQ(w->PanelText(3), QStringLiteral(" Status"));
    EXPECT_FALSE(w->ErrorNotice().IsVisible());
}

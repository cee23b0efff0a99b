#pragma once
// A program under test with a simulated detector on a pseudo-terminal: the
// windows of the program start, the port dialog's serial component, and
// helpers to wait for the event loop and to read the LOG folder.

#include "app/Program.h"
#include "app/ui/TextLinesModel.h"
#include "app/UGlowKite.h"
#include "portcfg/UCom.h"
#include "serial/SerComm.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"
#include "sim/SimulatorPort.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

namespace glowkite::test {

class ProgramRig : public ::testing::Test {
protected:
    ProgramRig()
    {
        program = std::make_unique<TProgram>(PathsIn(dir));
        w = program->Form_GlowKite.get();
        program->FComCfg->SerialComm().ClosePause = std::chrono::milliseconds(0);
        w->show();
        ProcessEvents();
    }
    ~ProgramRig() override
    {
        if (sim)
            sim->Stop();
    }

    // A simulated detector on a fresh pty, chosen as the port.
    void Detector(TSimOptions o, double fps = 2000)
    {
        sim = std::make_unique<TSimulatorPort>(o, fps);
        program->FComCfg->SerialComm().SetDeviceName(sim->OpenPty());
    }
    QAction *Action(const char *name) { return w->findChild<QAction *>(QString::fromLatin1(name)); }
    bool WaitFor(const std::function<bool()> &pred, int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (!pred()) {
            if (t.elapsed() > ms)
                return false;
            QTest::qWait(5);
        }
        return true;
    }
    std::string LogFile(const char *extension)
    {
        for (const auto &e : std::filesystem::directory_iterator(dir.path() / "LOG"))
            if (e.path().extension() == extension)
                return ReadFile(e.path().string());
        return {};
    }
    static std::size_t Lines(const std::string &s)
    {
        return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
    }
    void ExpectState(const char *panel0, bool start, bool stopp, bool port)
    {
        EXPECT_EQ(w->PanelText(0), QString::fromLatin1(panel0));
        EXPECT_EQ(Action("act_Start")->isEnabled(), start);
        EXPECT_EQ(Action("act_Stopp")->isEnabled(), stopp);
        EXPECT_EQ(Action("act_Port")->isEnabled(), port);
    }

    RuntimeDirOverride runtime;
    TempDir dir;
    std::unique_ptr<TProgram> program;
    TForm_GlowKite *w = nullptr;
    std::unique_ptr<TSimulatorPort> sim;
};

} // namespace glowkite::test

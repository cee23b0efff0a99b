#include "app/Program.h"

#include "about/About.h"
#include "gui/GuiSupport.h"
#include "app/StartOptions.h"
#include "app/UGlowKite.h"
#include "logging/UProgres.h"
#include "portcfg/UCom.h"
#include "serial/SerComm.h"
#include "settings/UOption.h"
#include "sim/SimulatorPort.h"

#include <QTimer>

namespace glowkite {

TProgram::TProgram(const ProgramPaths &paths)
{
    Form_GlowKite = std::make_unique<TForm_GlowKite>(paths);
    FComCfg = std::make_unique<TFComCfg>(paths.IniFile, Form_GlowKite.get());
    FOption = std::make_unique<TFOption>(Form_GlowKite.get());
    Form_pgb = std::make_unique<TForm_pgb>(Form_GlowKite.get());
    AboutBox = std::make_unique<TAboutBox>(Form_GlowKite.get());
    Form_GlowKite->SetDialogs({FComCfg.get(), FOption.get(), Form_pgb.get(), AboutBox.get()});
}

TProgram::~TProgram()
{
    // The window lets go of the port first; then the port closes, before
    // the window that handled its events goes.
    Form_GlowKite->SetDialogs({});
    FComCfg.reset();
    demo_.reset();
}

void TProgram::Begin(const TStartOptions &options)
{
    if (!options.DayFile.empty())
        OpenAtStart(options.DayFile);
    TForm_GlowKite *window = Form_GlowKite.get();
    // A build without MQTT says so in a box; the window stays.
    if (!options.Watch.empty()) {
        Guarded(window, [&] { window->WatchMqtt(options.Watch); });
        return;
    }
    if (!options.Mqtt.empty())
        Guarded(window, [&] { window->PublishToMqtt(options.Mqtt); });
    TSerComm &comm = FComCfg->SerialComm();
    if (options.Demo) {
        // A detector that shows everything the program does: status changes,
        // rising and falling AQ (also above 119), the beam alignment and a
        // drifting contamination, with some noise on the line.
        TSimOptions sim;
        sim.seed = 2026;
        sim.statusRun = true;
        sim.framesPerStatus = 60;
        sim.aqRamp = true;
        sim.positionRamp = true;
        sim.contamination = -1;
        sim.garbageMax = 2;
        demo_ = std::make_unique<TSimulatorPort>(sim, 10.0);
#ifdef _WIN32
        // No pseudo-terminals here: the simulator serves its frames on a
        // loopback TCP port, which the serial component opens as a network port.
        const std::string port = demo_->OpenLoopback();
#else
        const std::string port = demo_->OpenPty();
#endif
        comm.SetDeviceName(port);
        // The simulator's port is gone with this run: it never becomes the
        // configured port, and its frames stay in the demo folder.
        FComCfg->TransientPort = port;
        Form_GlowKite->SetDemoPort(port);
        demo_->Start();
    } else if (!options.Port.empty()) {
        comm.SetDeviceName(options.Port);
    } else {
        return;
    }
    TForm_GlowKite *form = Form_GlowKite.get();
    QTimer::singleShot(0, form, [form] { Guarded(form, [form] { form->act_StartExecute(); }); });
}

void TProgram::OpenAtStart(const std::string &dayFile)
{
    TForm_GlowKite *w = Form_GlowKite.get();
    QTimer::singleShot(0, w, [w, dayFile] { Guarded(w, [w, &dayFile] { w->OpenDayFile(dayFile); }); });
}

} // namespace glowkite

// Not a test: starts the program's windows with temporary files, feeds them
// frames of the simulated detector through the frame receiver, and saves a
// picture of the main window, to look at the window as a user sees it.
//
//   window_shot OUT.png [--frames N] [--all-series] [--size WxH] [--dialogs]
//   --dialogs also saves OUT-options.png and OUT-about.png.
#include "app/ui/ChartAdapter.h"
#include "app/core/FrameReceiver.h"
#include "app/Program.h"
#include "app/ui/TextLinesModel.h"
#include "about/About.h"
#include "about/fileUtil.h"
#include "app/UGlowKite.h"
#include "settings/UOption.h"
#include "settings/IniFile.h"
#include "sim/DetectorSimulator.h"

#include <QApplication>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

using namespace glowkite;

namespace {

class TShotEvents : public IFrameEvents {
public:
    explicit TShotEvents(TForm_GlowKite &w) : window_(w) {}
    void ShowProtocol() override { window_.ShowProtocol(); }
    void ProtocolSwitched(std::string_view) override {}
    void FrameFailed(std::string_view message) override { std::fprintf(stderr, "%.*s\n", int(message.size()), message.data()); }

private:
    TForm_GlowKite &window_;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fputs("usage: window_shot OUT.png [--frames N] [--all-series] [--size WxH]\n", stderr);
        return 2;
    }
    const int frames = args.contains("--frames") ? args.at(args.indexOf("--frames") + 1).toInt() : 900;

    QTemporaryDir dir;
    ProgramPaths paths;
    paths.IniFile = (dir.path() + "/glowkite.INI").toStdString();
    paths.LogDir = (dir.path() + "/LOG/").toStdString();
    if (args.contains("--size")) {
        const QStringList size = args.at(args.indexOf("--size") + 1).split('x');
        TIniFile ini(paths.IniFile);
        ini.WriteInteger("Window", "Main.With", size.value(0).toInt());
        ini.WriteInteger("Window", "Main.Heigth", size.value(1).toInt());
        ini.WriteInteger("Window", "Chart.Heigth", size.value(1).toInt() / 2);
    }
    TProgram program(paths);
    TForm_GlowKite &w = *program.Form_GlowKite;
    if (args.contains("--all-series")) {
        w.Decoder().xPosActive = w.Decoder().yPosActive = w.Decoder().Gain = true;
        w.UpDateGraph();
    }
    w.Decoder().Intervall = 1;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        std::fputs("window not exposed\n", stderr);
    QTest::qWait(50);

    // One frame a second from 14:00:00 on.
    int second = 0;
    auto clock = [&second] {
        LocalTime t{2012, 3, 5, 14, 0, 0, 0};
        t.minute = (second / 60) % 60;
        t.hour = 14 + second / 3600;
        t.second = second % 60;
        ++second;
        return t;
    };
    TShotEvents events(w);
    TFrameReceiver receiver(w.Decoder(), &w.DataLog, events, clock);
    receiver.CurrentDay = "05.03.2012";
    TSimOptions options;
    options.aqRamp = true;
    options.statusRun = true;
    options.positionRamp = true;
    options.contamination = -1;
    TDetectorSimulator sim(options);
    for (int i = 0; i < frames; ++i)
        for (std::uint8_t b : sim.NextFrame().bytes)
            receiver.Receive(b);
    w.Decoder().ShowCount();
    QTest::qWait(300);

    bool saved = w.grab().save(args.at(1));
    if (args.contains("--dialogs")) {
        const QString base = args.at(1).chopped(4);
        InitProgramInfo(OwnProgramPath());
        for (auto [dialog, name] : {std::pair<QWidget *, const char *>{program.FOption.get(), "-options.png"},
                                    {program.FOption.get(), "-options2.png"},
                                    {program.AboutBox.get(), "-about.png"}}) {
            if (std::string_view(name) == "-options2.png")
                program.FOption->pgc_Option->setCurrentIndex(1);
            dialog->show();
            QTest::qWait(100);
            saved = dialog->grab().save(base + name) && saved;
            dialog->hide();
        }
    }
    std::printf("%s: %d points, %d status lines, %d hex lines\n", saved ? "saved" : "NOT saved",
                w.Chart().Count(TSeries::AQ), w.mem_Status().Lines().Count(), w.mem_HEX().Lines().Count());
    return saved ? 0 : 1;
}

#include "about/fileUtil.h"
#include "app/Program.h"
#include "app/StartOptions.h"
#include "app/UGlowKite.h"
#include "gui/StopSignals.h"
#include "settings/Paths.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

bool AsksForHelp(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
            std::strcmp(argv[i], "--help-all") == 0)
            return true;
    return false;
}

// Usage text or a bad command line: reported on the console, no window.
int Refuse(const QString &text, bool help)
{
    std::fputs(text.toLocal8Bit().constData(), help ? stdout : stderr);
    return help ? 0 : 2;
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace glowkite;
    // The program information is gathered before any window exists.
    InitProgramInfo(OwnProgramPath());

    QString error;
    if (AsksForHelp(argc, argv)) {
        // Answered without opening the display.
        QCoreApplication console(argc, argv);
        ParseStartOptions(console.arguments(), error);
        return Refuse(error, true);
    }

    QApplication app(argc, argv);
    // Qt's own options (-platform, -style ...) are gone from arguments() here.
    const auto options = ParseStartOptions(app.arguments(), error);
    if (!options)
        return Refuse(error, false);
    ProgramPaths paths = SystemProgramPaths(options->Paths);
    if (options->Demo && options->Paths.LogDir.empty())
        paths.LogDir = DemoLogDir(paths.LogDir);
    TProgram program(paths);
    // SIGTERM, SIGINT and SIGHUP end the program as "Beenden" does; an open
    // dialog is cancelled first, as a click beside it could not.
    InstallStopSignals(&app, [&program] {
        for (int open = 0; QWidget *modal = QApplication::activeModalWidget(); ++open) {
            if (open > 16)
                break;
            modal->close();
        }
        program.Form_GlowKite->close();
    });
    program.Form_GlowKite->show();
    program.Begin(*options);
    return app.exec();
}

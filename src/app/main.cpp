#include "about/fileUtil.h"
#include "app/Program.h"
#include "app/StartOptions.h"
#include "app/UGlowKite.h"
#include "settings/Paths.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool AsksFor(int argc, char *argv[], std::initializer_list<const char *> names)
{
    for (int i = 1; i < argc; ++i)
        for (const char *name : names)
            if (std::strcmp(argv[i], name) == 0)
                return true;
    return false;
}

// Qt's own texts (file dialogs, standard buttons) in German, like the rest
// of the program, from Qt's translations where the system has them.
void LoadQtGerman(QApplication &app)
{
    auto *qt = new QTranslator(&app);
    if (qt->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qt);
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
    if (AsksFor(argc, argv, {"--version", "-v"})) {
        std::printf("glowkite %s\n", VersionText().c_str());
        return 0;
    }
    if (AsksFor(argc, argv, {"--help", "-h", "--help-all"})) {
        // Answered without opening the display.
        QCoreApplication console(argc, argv);
        ParseStartOptions(console.arguments(), error);
        return Refuse(error, true);
    }

#ifndef _WIN32
    // Without a display Qt would abort with a message about a plugin; say
    // what is missing and what runs without one.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM") &&
        !AsksFor(argc, argv, {"-platform", "--platform"})) {
        std::fputs("glowkite: this program needs a graphical display (none is set: DISPLAY and\n"
                   "WAYLAND_DISPLAY are empty). Start it from a desktop session, or try it\n"
                   "headless: glowkite-cli simulate --pty, glowkite-cli record --port DEVICE,\n"
                   "glowkite-cli export DAY.glow --csv (glowkite-cli --help). Under a virtual\n"
                   "display: xvfb-run glowkite --demo.\n",
                   stderr);
        return 1;
    }
#endif
    QApplication app(argc, argv);
    LoadQtGerman(app);
    QApplication::setWindowIcon(ProgramIcon());
    // Qt's own options (-platform, -style ...) are gone from arguments() here.
    const auto options = ParseStartOptions(app.arguments(), error);
    if (!options)
        return Refuse(error, false);
    ProgramPaths paths = SystemProgramPaths(options->Paths);
    if (options->Demo && options->Paths.LogDir.empty())
        paths.LogDir = DemoLogDir(paths.LogDir);
    TProgram program(paths);
    program.Form_GlowKite->show();
    program.Begin(*options);
    return app.exec();
}

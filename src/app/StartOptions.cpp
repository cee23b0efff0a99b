#include "app/StartOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace glowkite {

std::optional<TStartOptions> ParseStartOptions(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "GlowKite data logger and viewer: records the frames of a GlowKite beam smoke detector\n"
        "(35710 baud) into day files and shows them in a live chart; replays stored days.\n"
        "Without options it opens the window with the settings and LOG folder it finds itself."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays the version and build date."));
    parser.addOption(version);
    const QCommandLineOption ini(QStringLiteral("ini"),
                                 QStringLiteral("Settings file to use instead of the program's own."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption logDir(QStringLiteral("log-dir"),
                                    QStringLiteral("Folder for the data and status logs."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Start recording from this serial port (a device path)."),
                                  QStringLiteral("DEVICE"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Record from the built-in simulated detector."));
    parser.addOption(ini);
    parser.addOption(logDir);
    parser.addOption(port);
    parser.addOption(demo);
    parser.addPositionalArgument(QStringLiteral("DAYFILE"),
                                 QStringLiteral("A stored day (glowkite_yymmdd.glow) to replay at start."),
                                 QStringLiteral("[DAYFILE]"));

    if (!parser.parse(arguments)) {
        error = parser.errorText() + QLatin1Char('\n') + parser.helpText();
        return std::nullopt;
    }
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")) || positional.size() > 1) {
        error = parser.helpText();
        return std::nullopt;
    }
    TStartOptions options;
    options.Paths.IniFile = parser.value(ini).toStdString();
    options.Paths.LogDir = parser.value(logDir).toStdString();
    options.Port = parser.value(port).toStdString();
    options.Demo = parser.isSet(demo);
    if (options.Demo && !options.Port.empty()) {
        error = QStringLiteral("--demo and --port exclude each other.\n") + parser.helpText();
        return std::nullopt;
    }
    if (!positional.isEmpty())
        options.DayFile = QFileInfo(positional.front()).absoluteFilePath().toStdString();
    return options;
}

std::string DemoLogDir(const std::string &logDir)
{
    std::string dir = logDir;
    while (!dir.empty() && dir.back() == '/')
        dir.pop_back();
    return dir + "-demo/";
}

} // namespace glowkite

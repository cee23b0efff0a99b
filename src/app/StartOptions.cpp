#include "app/StartOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace glowkite {

std::optional<TStartOptions> ParseStartOptions(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("GlowKite data logger and viewer"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption ini(QStringLiteral("ini"),
                                 QStringLiteral("Settings file to use instead of the program's own."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption logDir(QStringLiteral("log-dir"),
                                    QStringLiteral("Folder for the data and status logs."),
                                    QStringLiteral("DIR"));
    parser.addOption(ini);
    parser.addOption(logDir);
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
    if (!positional.isEmpty())
        options.DayFile = QFileInfo(positional.front()).absoluteFilePath().toStdString();
    return options;
}

} // namespace glowkite

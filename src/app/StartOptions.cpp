#include "app/StartOptions.h"

#include <QCommandLineParser>

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

    if (!parser.parse(arguments)) {
        error = parser.errorText() + QLatin1Char('\n') + parser.helpText();
        return std::nullopt;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")) ||
        !parser.positionalArguments().isEmpty()) {
        error = parser.helpText();
        return std::nullopt;
    }
    TStartOptions options;
    options.Paths.IniFile = parser.value(ini).toStdString();
    options.Paths.LogDir = parser.value(logDir).toStdString();
    return options;
}

} // namespace glowkite

#include "app/StartOptions.h"

#include "mqtt/MqttUrl.h"
#include "settings/PathsPlatform.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstring>

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
                                    QStringLiteral("Folder for the data and status logs (a demo uses DIR-demo)."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Start recording from this port: a serial device path, or a "
                                                 "serial device server as tcp://HOST:PORT (raw TCP) or "
                                                 "rfc2217://HOST:PORT (Telnet COM-PORT-OPTION)."),
                                  QStringLiteral("PORT"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Record from the built-in simulated detector."));
    const QCommandLineOption mqtt(QStringLiteral("mqtt"),
                                  QStringLiteral("Publish every received frame to an MQTT broker."),
                                  QStringLiteral("mqtt://HOST[:PORT]/TOPIC"));
    const QCommandLineOption watch(QStringLiteral("watch"),
                                   QStringLiteral("Show a detector recorded elsewhere, from its topic on an MQTT broker."),
                                   QStringLiteral("mqtt://HOST[:PORT]/TOPIC"));
    parser.addOption(ini);
    parser.addOption(mqtt);
    parser.addOption(watch);
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
        error = parser.helpText() + FilesText();
        return std::nullopt;
    }
    // An empty name would silently mean "none" (or the default folder).
    for (const QCommandLineOption *o : {&ini, &logDir, &port})
        if (parser.isSet(*o) && parser.value(*o).isEmpty()) {
            error = QStringLiteral("--%1 needs a value, not an empty text.\n").arg(o->names().front()) +
                    parser.helpText();
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
    options.Mqtt = parser.value(mqtt).toStdString();
    options.Watch = parser.value(watch).toStdString();
    if (!options.Watch.empty() && (options.Demo || !options.Port.empty() || !options.Mqtt.empty())) {
        error = QStringLiteral("--watch excludes --port, --demo and --mqtt.\n") + parser.helpText();
        return std::nullopt;
    }
    for (const std::string *url : {&options.Mqtt, &options.Watch}) {
        if (url->empty())
            continue;
        try {
            ParseMqttUrl(*url);
        } catch (const std::exception &e) {
            error = QString::fromStdString(e.what()) + QLatin1Char('\n') + parser.helpText();
            return std::nullopt;
        }
    }
    if (!positional.isEmpty())
        options.DayFile = QFileInfo(positional.front()).absoluteFilePath().toStdString();
    return options;
}

std::string DemoLogDir(const std::string &logDir)
{
    // The demo folder ends in the separator the given folder uses (a folder
    // given as C:/data stays in forward slashes), else in the system's own.
    const char *separators = kPathConventions.Separators;
    const auto isSeparator = [separators](char c) { return c != '\0' && std::strchr(separators, c); };
    std::string dir = logDir;
    const auto last = dir.find_last_of(separators);
    const char separator = last == std::string::npos ? kPathConventions.Separator : dir[last];
    while (!dir.empty() && isSeparator(dir.back()))
        dir.pop_back();
    return dir + "-demo" + separator;
}

QString FilesText()
{
    const ProgramPaths paths = SystemProgramPathsUncreated({});
    return QStringLiteral("\nFiles (--ini and --log-dir override them):\n"
                          "  settings    %1\n"
                          "  data, logs  %2\n"
                          "  --demo      %3 (a real port chosen in the demo records into the one above)\n")
        .arg(QString::fromStdString(paths.IniFile), QString::fromStdString(paths.LogDir),
             QString::fromStdString(DemoLogDir(paths.LogDir)));
}

} // namespace glowkite

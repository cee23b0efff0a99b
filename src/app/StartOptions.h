#pragma once
// What the command line decides for a run. Parsed in one place, so that
// later options join here.

#include "settings/Paths.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace glowkite {

struct TStartOptions {
    PathOverrides Paths; // --ini FILE, --log-dir DIR
    // --port PORT: record from this port (a device, tcp:// or rfc2217://) from the start.
    std::string Port;
    // --demo: record from the built-in simulated detector.
    bool Demo = false;
    // --mqtt URL: publish what is recorded to a broker (mqtt://HOST[:PORT]/TOPIC).
    std::string Mqtt;
    // --watch URL: show a detector recorded elsewhere, from its topic on a
    // broker; no recording, no files.
    std::string Watch;
    // A stored day file to replay at start (what "open with" passes), as an
    // absolute path; empty for none.
    std::string DayFile;
};

// Where a demo writes its files: beside the LOG folder in use (also one
// given by --log-dir), so simulated days never mix with recorded ones.
std::string DemoLogDir(const std::string &logDir);

// Where the files go (settings, LOG folder, the demo's folder), for --help.
QString FilesText();

// glowkite [--ini FILE] [--log-dir DIR] [--port PORT | --demo] [--mqtt URL | --watch URL] [DAYFILE];
// PORT: a device, tcp://HOST:PORT or rfc2217://HOST:PORT.
// Without a value the program finds its files itself (beside the program when that folder is writable, else in
// the user's folders). On a bad command line: no value, and error says why
// (with the usage text); on --help: no value and error holds the usage text.
std::optional<TStartOptions> ParseStartOptions(const QStringList &arguments, QString &error);

} // namespace glowkite

#pragma once
// Requests to end the program from outside (SIGTERM from a session manager
// or systemd, SIGINT from a terminal, SIGHUP when the terminal goes away)
// end it the way the menu's "Beenden" does, on the GUI thread: settings
// written, the recording stopped with every received frame on disk.

#include <functional>

class QObject;
class QString;

namespace glowkite {

// Installs the handlers once; `quit` runs on the event loop of `context`
// for each request. Also ignores SIGXFSZ, so that a file-size limit makes a
// write fail (EFBIG, reported like a full disk) instead of killing the
// program with a half line on disk. Does nothing where there are no such
// signals (Windows).
void InstallStopSignals(QObject *context, std::function<void()> quit);

// Shows a desktop notification: the tray's message where the desktop has a
// tray, else notify-send where installed; nothing otherwise.
void ShowDesktopNotification(const QString &title, const QString &text);

} // namespace glowkite

#include "gui/StopSignals.h"

#include <QApplication>
#include <QIcon>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#ifndef _WIN32
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace glowkite {

#ifndef _WIN32
namespace {

int stopPipe[2] = {-1, -1};

// Only what is safe in a signal handler: the event loop does the rest.
void OnStopSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void InstallStopSignals(QObject *context, std::function<void()> quit)
{
    std::signal(SIGXFSZ, SIG_IGN);
    if (stopPipe[0] >= 0 || ::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [quit = std::move(quit)] {
        char bytes[16];
        while (::read(stopPipe[0], bytes, sizeof bytes) > 0) {
        }
        quit();
    });
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &sa, nullptr);
}
#else
void InstallStopSignals(QObject *, std::function<void()>) {}
#endif

void ShowDesktopNotification(const QString &title, const QString &text)
{
    if (QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages()) {
        static QSystemTrayIcon *tray = nullptr;
        if (!tray) {
            tray = new QSystemTrayIcon(QApplication::windowIcon(), qApp);
            tray->show();
        }
        tray->showMessage(title, text, QSystemTrayIcon::Warning);
        return;
    }
#ifndef _WIN32
    const QString notifySend = QStandardPaths::findExecutable(QStringLiteral("notify-send"));
    if (!notifySend.isEmpty())
        QProcess::startDetached(notifySend, {QStringLiteral("--app-name=GlowKite"), title, text});
#endif
}

} // namespace glowkite

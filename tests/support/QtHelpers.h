#pragma once
// Helpers for tests of windows: acting on a modal dialog from inside its
// event loop, and waiting for the event loop to catch up.

#include "settings/Paths.h"
#include "support/TestFiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace glowkite::test {

// Calls act with the next modal dialog (or message box) once it is shown,
// from inside its event loop, e.g. to set its controls and press a button.
// Gives up after timeoutMs, so a dialog that never comes cannot catch a
// later test's dialog.
inline void OnNextModal(std::function<void(QWidget *)> act, int timeoutMs = 5000)
{
    auto *timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act, timeoutMs] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && clock->elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        if (modal)
            act(modal);
    });
    timer->start();
}

// What a message box said, and that one came at all.
struct TBoxSeen {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Closes the next message box with its OK button and records what it said.
inline std::shared_ptr<TBoxSeen> CloseNextMessageBox()
{
    auto seen = std::make_shared<TBoxSeen>();
    OnNextModal([seen](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box) {
            w->close();
            return;
        }
        seen->shown = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->close();
    });
    return seen;
}

// The settings file and the LOG folder of a window under test, in dir.
inline ProgramPaths PathsIn(const TempDir &dir)
{
    ProgramPaths paths;
    paths.IniFile = dir / "glowkite.INI";
    paths.LogDir = dir / "LOG/";
    return paths;
}

// Lets queued work (zero timers, posted events) run.
inline void ProcessEvents(int ms = 0)
{
    QApplication::processEvents();
    if (ms > 0)
        QTest::qWait(ms);
    QApplication::processEvents();
}

} // namespace glowkite::test

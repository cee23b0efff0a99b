#pragma once
// Helpers for tests of windows: acting on a modal dialog from inside its
// event loop, and waiting for the event loop to catch up.

#include "settings/Paths.h"
#include "support/TestFiles.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QCalendarWidget>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTableView>
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

// A double click on the cell of day d, as a user does it (a click first);
// turns the calendar to d's month. False when the day has no cell.
inline bool DoubleClickCalendarDay(QCalendarWidget &calendar, const QDate &d)
{
    calendar.setCurrentPage(d.year(), d.month());
    auto *view = calendar.findChild<QTableView *>();
    if (!view)
        return false;
    QAbstractItemModel *model = view->model();
    // Days of the previous month come first in the grid; the first cell with
    // this day's number after the first of the month is the day.
    bool inMonth = false;
    for (int row = 0; row < model->rowCount(); ++row)
        for (int col = 0; col < model->columnCount(); ++col) {
            const QModelIndex cell = model->index(row, col);
            const int day = model->data(cell).toInt();
            inMonth = inMonth || day == 1;
            if (inMonth && day == d.day()) {
                const QPoint at = view->visualRect(cell).center();
                QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
                QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
                return true;
            }
        }
    return false;
}

} // namespace glowkite::test

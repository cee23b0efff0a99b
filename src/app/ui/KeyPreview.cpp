#include "app/ui/KeyPreview.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace glowkite {

TKeyPreview::TKeyPreview(QWidget *window, std::function<void(int key)> onKey)
    : QObject(window), window_(window), onKey_(std::move(onKey))
{
    // On the application, not the window: a key reaches the focused control
    // first, and a filter on the window would see only what the control
    // leaves unused.
    QCoreApplication::instance()->installEventFilter(this);
}

TKeyPreview::~TKeyPreview()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool TKeyPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease) {
        lastEvent_ = nullptr;
        return false;
    }
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto *receiver = static_cast<QWidget *>(watched);
    if (receiver->window() != window_)
        return false;
    if (event == lastEvent_ && lastReceiver_ && receiver != lastReceiver_ && receiver->isAncestorOf(lastReceiver_))
        return false;
    lastEvent_ = event;
    lastReceiver_ = receiver;
    onKey_(static_cast<QKeyEvent *>(event)->key());
    return false;
}

} // namespace glowkite

#include "serial/qt/SerQtHandOff.h"

#include <QMetaObject>

namespace glowkite {

TSerQtHandOff::TSerQtHandOff(QObject *parent)
    : QObject(parent),
      TSerHandOffQueue([this] {
          QMetaObject::invokeMethod(this, [this] { ServePending(); }, Qt::QueuedConnection);
      })
{
}

} // namespace glowkite

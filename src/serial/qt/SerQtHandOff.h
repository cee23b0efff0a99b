#pragma once
// The serial hand-off for a Qt program: a queue served on the thread that
// creates this object (the GUI thread). A worker's step wakes the event loop
// with a queued call, so it is served by the main loop and by modal loops
// alike; Close keeps serving while it waits for the workers.
//
//   auto handOff = std::make_shared<glowkite::TSerQtHandOff>();
//   glowkite::TSerComm comm(handOff);

#include "serial/SerHandOff.h"

#include <QObject>

namespace glowkite {

class TSerQtHandOff : public QObject, public TSerHandOffQueue {
public:
    explicit TSerQtHandOff(QObject *parent = nullptr);
};

} // namespace glowkite

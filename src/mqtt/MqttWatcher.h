#pragma once
// Follows a detector recorded elsewhere: subscribes to TOPIC/rx and
// TOPIC/state on a broker and keeps what arrives for the GUI thread.

#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttUrl.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace glowkite {

class TMqttWatcher {
public:
    // arrived is called on the watcher's thread when lines wait after none
    // did (a queued call to the GUI thread, which then takes them).
    TMqttWatcher(const TMqttUrl &url, std::function<void()> arrived, TMqttOptions options = {});
    ~TMqttWatcher();

    // The RX lines received since the last call, in order.
    std::vector<std::string> TakeLines();
    // The recorder's last state ("verbunden", "keine Daten", "getrennt",
    // "offline"); empty while none is known.
    std::string RemoteState() const;
    bool Connected() const;
    std::int64_t LinesLost() const; // dropped because the GUI did not take them
    std::vector<std::string> TakeNotes();
    const TMqttUrl &Url() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace glowkite

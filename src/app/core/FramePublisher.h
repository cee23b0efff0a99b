#pragma once
// Where a session hands on what it records, besides the files: every stored
// frame, every status line and the state of the line (the MQTT publisher
// implements it). Called on the receive path: an implementation queues and
// returns at once, whatever the far side is doing.

#include "app/core/Protocol.h"

#include <string_view>

namespace glowkite {

enum class TLinkState {
    Connected,    // "verbunden"
    NoData,       // "keine Daten": the port is open but no frame comes
    Disconnected, // "getrennt"
};

// "verbunden", "keine Daten", "getrennt"
const char *LinkStateText(TLinkState state);

class IFramePublisher {
public:
    virtual ~IFramePublisher() = default;
    // A frame has been written to the day file as rxLine; protocol is the
    // one it was decoded with.
    virtual void PublishFrame(std::string_view rxLine, TFrameWindow window, TProtocol protocol) = 0;
    // A status line as the status pane and the status log have it (Windows-1252).
    virtual void PublishStatusLine(std::string_view line) = 0;
    virtual void PublishState(TLinkState state) = 0;
};

} // namespace glowkite

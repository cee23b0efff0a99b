#pragma once
// Publishes what a session records to an MQTT broker (libmosquitto), off the
// receive path: the calls only queue (bounded), a thread of its own sends
// with QoS 1, reconnects by itself and counts what the full queue dropped.
// A broker that is away never slows reception or the files.

#include "app/core/FramePublisher.h"
#include "mqtt/MqttUrl.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace glowkite {

// Whether this build has MQTT (libmosquitto was found when it was built).
bool MqttAvailable();

struct TMqttOptions {
    // Frames and status lines held while the broker is away or slow: about
    // a minute at the detector's line rate.
    std::size_t QueueCapacity = 10000;
    std::chrono::milliseconds ReconnectDelay{2000};
    int KeepAliveSeconds = 30;
};

class TMqttPublisher : public IFramePublisher {
public:
    // Starts connecting at once (off the caller's thread). Raises EMqttError
    // on a bad address or when this build has no MQTT.
    explicit TMqttPublisher(const TMqttUrl &url, TMqttOptions options = {});
    // Sends what is queued for up to a second when connected, then "offline"
    // as the state, and disconnects.
    ~TMqttPublisher() override;

    void PublishFrame(std::string_view rxLine, TFrameWindow window, TProtocol protocol) override;
    void PublishStatusLine(std::string_view line) override;
    void PublishState(TLinkState state) override;

    bool Connected() const;
    std::int64_t FramesQueued() const;  // handed to the publisher
    std::int64_t MessagesSent() const;  // acknowledged by the broker
    std::int64_t MessagesLost() const;  // dropped because the queue was full
    // Lines for the status pane (Windows-1252, stamped like a status line):
    // the broker reached, lost, and messages dropped. Taken once.
    std::vector<std::string> TakeNotes();
    // "mqtt connected, 0 lost" and the like, for the recorder's status line.
    std::string Summary() const;

    const TMqttUrl &Url() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace glowkite

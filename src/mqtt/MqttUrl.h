#pragma once
// The address of a detector on a broker: mqtt://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace glowkite {

// An MQTT address that cannot be used, or MQTT not built in.
class EMqttError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::uint16_t MqttDefaultPort = 1883;

struct TMqttUrl {
    std::string host;
    std::uint16_t port = MqttDefaultPort;
    std::string topic; // the detector's topic; its messages go to TOPIC/rx ...
    std::string user, password;

    // "HOST:PORT" (an IPv6 host in brackets), for messages.
    std::string Address() const;
    // The address as given, without the password.
    std::string Text() const;
};

// Raises EMqttError naming what is wrong (scheme, host, port, topic).
TMqttUrl ParseMqttUrl(std::string_view url);

} // namespace glowkite

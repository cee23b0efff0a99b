#include "mqtt/MqttUrl.h"

#include <charconv>

namespace glowkite {

namespace {
constexpr std::string_view Scheme = "mqtt://";
constexpr const char *Form = " (expected mqtt://HOST[:PORT]/TOPIC)";

[[noreturn]] void Refuse(std::string_view url, const std::string &why)
{
    throw EMqttError("Bad MQTT address \"" + std::string(url) + "\": " + why + Form);
}
} // namespace

std::string TMqttUrl::Address() const
{
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string TMqttUrl::Text() const
{
    return std::string(Scheme) + (user.empty() ? "" : user + "@") + Address() + "/" + topic;
}

TMqttUrl ParseMqttUrl(std::string_view url)
{
    if (url.substr(0, Scheme.size()) != Scheme)
        Refuse(url, "it does not start with mqtt://");
    std::string_view rest = url.substr(Scheme.size());
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos)
        Refuse(url, "no topic");
    std::string_view authority = rest.substr(0, slash);
    const std::string_view topic = rest.substr(slash + 1);

    TMqttUrl u;
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view info = authority.substr(0, at);
        const std::size_t colon = info.find(':');
        u.user = std::string(info.substr(0, colon));
        if (colon != std::string_view::npos)
            u.password = std::string(info.substr(colon + 1));
        if (u.user.empty())
            Refuse(url, "a user name is empty");
        authority = authority.substr(at + 1);
    }

    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            Refuse(url, "an IPv6 host without its closing ]");
        u.host = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                Refuse(url, "text after the IPv6 host");
            port = after.substr(1);
            if (port.empty())
                Refuse(url, "an empty port");
        }
    } else {
        const std::size_t colon = authority.find(':');
        u.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
            if (port.empty())
                Refuse(url, "an empty port");
        }
    }
    if (u.host.empty())
        Refuse(url, "no host");
    if (!port.empty()) {
        unsigned v = 0;
        const auto r = std::from_chars(port.data(), port.data() + port.size(), v);
        if (r.ec != std::errc() || r.ptr != port.data() + port.size() || v < 1 || v > 65535)
            Refuse(url, "the port \"" + std::string(port) + "\" is not a number from 1 to 65535");
        u.port = static_cast<std::uint16_t>(v);
    }

    if (topic.empty())
        Refuse(url, "no topic");
    if (topic.find_first_of("+#") != std::string_view::npos)
        Refuse(url, "the topic holds a wildcard (+ or #)");
    if (topic.front() == '/' || topic.back() == '/' || topic.find("//") != std::string_view::npos)
        Refuse(url, "the topic has an empty level");
    for (unsigned char c : topic)
        if (c < 0x20)
            Refuse(url, "the topic holds a control character");
    u.topic = std::string(topic);
    return u;
}

} // namespace glowkite

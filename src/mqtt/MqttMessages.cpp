#include "mqtt/MqttMessages.h"

#include "app/core/Export.h"
#include "app/core/MeasurementDecoder.h"

#include <charconv>

namespace glowkite {

namespace {
void AppendNumber(std::string &s, double v)
{
    // The shortest text that reads back as the same double: a subscriber
    // gets exactly the value the chart plots.
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    s.append(buf, r.ptr);
}
} // namespace

std::string JsonString(std::string_view s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                static constexpr char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0x0F];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string MeasurementJson(std::string_view label, TFrameWindow window, TProtocol protocol)
{
    const TFrameValues v = protocol.Values(window);
    const auto flags = static_cast<std::uint8_t>(v.flags);
    const TStatusWords status = StatusWords(flags);
    std::string j;
    j.reserve(200);
    j += "{\"time\":" + JsonString(label);
    j += ",\"protocol\":" + JsonString(protocol.Name());
    j += ",\"aq\":" + std::to_string(v.aq);
    j += ",\"status\":" + std::to_string(flags);
    j += ",\"statusHex\":\"" + ByteToHex(flags) + "\"";
    j += ",\"statusWords\":" + JsonString(Cp1252ToUtf8(status.words));
    j += ",\"statusLevel\":" + std::to_string(status.level);
    j += ",\"x\":";
    AppendNumber(j, static_cast<double>(ScalePosition(v.x, protocol.GlowkiteVersion())));
    j += ",\"y\":";
    AppendNumber(j, static_cast<double>(ScalePosition(v.y, protocol.GlowkiteVersion())));
    j += ",\"contamination\":" + std::to_string(ScaleGain(v.gain));
    j += "}";
    return j;
}

} // namespace glowkite

#pragma once
// What goes to a detector's topics: TOPIC/rx the RX line as the day file
// holds it, TOPIC/measurement the frame's values as JSON, TOPIC/status a
// status line (UTF-8), TOPIC/state (retained) the line's state or "offline".

#include "app/core/Protocol.h"

#include <string>
#include <string_view>

namespace glowkite {

inline constexpr std::string_view RxSubtopic = "/rx";
inline constexpr std::string_view MeasurementSubtopic = "/measurement";
inline constexpr std::string_view StatusSubtopic = "/status";
inline constexpr std::string_view StateSubtopic = "/state";
// The last will: the recorder is gone without saying so (or has ended).
inline constexpr std::string_view OfflineState = "offline";

// {"time":"dd.mm.yyyy hh:nn:ss","protocol":"glowkite +","aq":42,"status":1,
//  "statusHex":"01","statusWords":"Alarm ","statusLevel":80,"x":5,"y":-2.5,
//  "contamination":1}: the values of the frame as the decoder and the CSV
// export compute them (AQ as the detector sent it, the chart draws values
// above 119 as 119).
std::string MeasurementJson(std::string_view label, TFrameWindow window, TProtocol protocol);

// s as a JSON string literal, quotes included (s is UTF-8).
std::string JsonString(std::string_view s);

} // namespace glowkite

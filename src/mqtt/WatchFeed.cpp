#include "mqtt/WatchFeed.h"

#include "app/core/Protocol.h"
#include "logging/LOGFile.h"

#include <algorithm>

namespace glowkite {

TWatchFeed::TWatchFeed(TMeasurementDecoder &decoder, IFrameEvents &events, TLogFile *dataLog)
    : decoder_(decoder), events_(events), dataLog_(dataLog)
{
}

bool TWatchFeed::Feed(std::string_view line, std::string &error)
{
    TStoredFrame frame;
    // Only the characters the program writes: a payload from elsewhere must
    // not put control characters into the pane.
    const bool printable = line.size() < 200 && std::all_of(line.begin(), line.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
    if (!printable) {
        error = "not an RX line";
        ++badLines_;
        return false;
    }
    if (!ParseStoredLine(line, frame, error)) {
        ++badLines_;
        return false;
    }
    ++lines_;
    // A new day clears the display, as it does for the recorder itself.
    const std::string_view day = frame.label.substr(0, 10);
    if (day != day_) {
        if (!first_)
            decoder_.ClearData();
        day_.assign(day);
    }
    if (first_ || frame.glowkiteVersion != decoder_.GlowkiteVersion) {
        const bool switched = !first_;
        decoder_.GlowkiteVersion = frame.glowkiteVersion;
        events_.ShowProtocol();
        if (switched)
            events_.ProtocolSwitched(decoder_.Protocol().SwitchMessage());
    }
    first_ = false;
    if (dataLog_)
        dataLog_->WriteLine(line, lsNone);
    decoder_.View().AppendHexLine(line);
    decoder_.AddMeasurement(frame.label, frame.aq, frame.flags, frame.x, frame.y, frame.gain);
    decoder_.ShowCount();
    return true;
}

} // namespace glowkite

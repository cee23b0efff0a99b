#pragma once
// Shows RX lines received from a broker as a replay shows stored lines: by
// the stored-line columns into the decoder, the line into the data pane.
// Qt-free; the window feeds it on the GUI thread.

#include "app/core/FrameReceiver.h"
#include "app/core/MeasurementDecoder.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace glowkite {

class TLogFile;

class TWatchFeed {
public:
    // dataLog: where the lines are stored too (null: nowhere, the default).
    TWatchFeed(TMeasurementDecoder &decoder, IFrameEvents &events, TLogFile *dataLog = nullptr);

    // One received line. A line that is no RX line is skipped; false, and
    // error says why.
    bool Feed(std::string_view line, std::string &error);

    std::int64_t Lines() const { return lines_; }
    std::int64_t BadLines() const { return badLines_; }

private:
    TMeasurementDecoder &decoder_;
    IFrameEvents &events_;
    TLogFile *dataLog_;
    std::string day_;
    bool first_ = true;
    std::int64_t lines_ = 0, badLines_ = 0;
};

} // namespace glowkite

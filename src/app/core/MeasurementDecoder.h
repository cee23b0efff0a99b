#pragma once
// The measurement state of the main window and the operations on it: a
// decoded measurement becomes points of the five chart series, and a change
// of the status flags becomes a line of German status words in the status
// pane and in the monthly status log.

#include "app/core/MeasurementView.h"
#include "app/core/Protocol.h"
#include "logging/LogLock.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace glowkite {

class IFramePublisher;
class TLogFile;

// The monthly status log could not be written. The measurement itself was
// handled in full (its frame is in the day file, its points in the chart);
// only its status line is missing from the log. File() names the log.
class EStatusLogError : public ELogError {
public:
    EStatusLogError(std::string file, const std::string &message)
        : ELogError(message), file_(std::move(file))
    {
    }
    const std::string &File() const { return file_; }

private:
    std::string file_;
};

// The status words of the flags f (Windows-1252) and the status level.
struct TStatusWords {
    std::string words;
    std::int32_t level = 0;
};
TStatusWords StatusWords(std::uint8_t f);

// Raw contamination to its plotted value: (g - 128) / 10 in 16-bit
// arithmetic, rounded to the nearest integer with halves to even.
std::int32_t ScaleGain(std::int16_t g);

// "Anzahl der Messwerte: " followed by n.
std::string CountText(int n);

class TMeasurementDecoder {
public:
    // StatusLog may be null (no status log, e.g. the export tool).
    TMeasurementDecoder(IMeasurementView &view, TLogFile *statusLog);

    // Display settings (named like their keys in the settings file).
    bool AllData2Chart = true;
    bool GlowkiteVersion = false; // true: old protocol "glowkite"
    TProtocol Protocol() const { return TProtocol::FromGlowkiteVersion(GlowkiteVersion); }
    std::int32_t Intervall = 60;
    bool xPosActive = false;
    bool yPosActive = false;
    bool Gain = false;

    // Measurement state.
    std::int32_t MeasureCount = 0;
    std::int32_t LastStatus = 255;
    std::int32_t StatusValue = 0;
    std::int32_t LastAQ = 0;
    long double LastXPos = 0;
    long double LastYPos = 0;
    std::int32_t LastGain = 0;
    std::string LastLabel;
    // Starts true: before the first measurement nothing was left out, so
    // there is no level to hold (a hold point would plot a false zero).
    bool LastPlotted = true;

    // Whether DecodeStatus writes status lines to the status log. A replay
    // turns it off: viewing a stored day must not add old history to the
    // current month's log.
    bool LogStatusChanges = true;
    // Status lines written to the status log so far (a failed one does not count).
    std::int64_t StatusLinesLogged = 0;
    // Gets the status lines that go to the status log (none: null).
    IFramePublisher *Publisher = nullptr;

    void AddMeasurement(std::string_view L, std::int16_t a, std::int16_t f, std::int16_t x,
                        std::int16_t y, std::int16_t g);
    // A status log that cannot be written raises EStatusLogError.
    void DecodeStatus(std::int16_t f, std::string_view L);
    void ClearData();
    void UpDateGraph();
    // Sets the count label from the points of the series "Status".
    void ShowCount();

    // The interval in force: a value below 1 (a hand-edited settings file)
    // is taken as the default 60.
    std::int32_t EffectiveIntervall() const { return Intervall >= 1 ? Intervall : 60; }

    IMeasurementView &View() { return view_; }

private:
    IMeasurementView &view_;
    TLogFile *statusLog_;
};

} // namespace glowkite

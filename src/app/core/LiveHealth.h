#pragma once
// How the line is doing while a recording runs, for the window and
// glowkite-cli alike: a watchdog that sees the detector fall silent (no
// complete frame for DatenTimeout seconds) and come back, and the live
// figures a technician judges the cable by: frames per second over the last
// seconds, bytes dropped outside frames and the driver's line errors since
// Start. It looks at counters now and then (a timer, the recorder's loop),
// so the receive path pays nothing for it. Nothing of this goes to the log
// files: they hold detector data only.

#include "app/core/FrameReceiver.h"
#include "base/Clock.h"
#include "serial/SerTypes.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace glowkite {

// Settings key "DatenTimeout" in section "Parameter", in seconds.
inline constexpr int DefaultDatenTimeout = 5;
// The time-out in force: a value below 1 (a hand-edited settings file) is
// taken as the default.
constexpr int EffectiveDatenTimeout(int seconds) { return seconds >= 1 ? seconds : DefaultDatenTimeout; }

class ILiveHealthEvents {
public:
    virtual ~ILiveHealthEvents() = default;
    // No complete frame for `timeout` seconds.
    virtual void SilenceBegan(int timeout) = 0;
    // Frames again, after `seconds` without one.
    virtual void SilenceEnded(double seconds) = 0;
};

struct TLineFigures {
    double framesPerSecond = 0;    // over the last RateWindow
    std::int64_t droppedBytes = 0; // since Start
    TSerLineErrors lineErrors;     // since Start, across reconnects
};

// The status-pane lines ("<label>  keine Daten seit 5 s", "<label>  Daten
// wieder empfangen nach 12 s"); label is the date-time text of the moment.
std::string SilenceBeganLine(std::string_view label, int timeout);
std::string SilenceEndedLine(std::string_view label, double seconds);

class TLiveHealth {
public:
    explicit TLiveHealth(ILiveHealthEvents &events, SteadyClock clock = SteadyNow);

    // Seconds; EffectiveDatenTimeout applies.
    int DatenTimeout = DefaultDatenTimeout;
    static constexpr std::chrono::seconds RateWindow{5};

    // A recording starts: the figures start from these counters.
    void Start(const TRxCounters &rx);
    // Whether frames are expected now (the port is open). Watching starts
    // the silence clock afresh; stopping ends a silence without a return
    // (the port went away or the recording stopped).
    void Watch(bool on);
    bool Watching() const { return watching_; }
    // Looks at the counters: a silence begins or ends, the figures follow.
    void Update(const TRxCounters &rx, const TSerLineErrors &line);

    bool Silent() const { return silent_; }
    int Silences() const { return silences_; }
    // The time of all silences so far, the one in progress included.
    double SilentSeconds() const;
    const TLineFigures &Figures() const { return figures_; }

private:
    void EndSilence(SteadyTime now);

    ILiveHealthEvents &events_;
    SteadyClock clock_;
    bool watching_ = false;
    bool silent_ = false;
    SteadyTime lastFrame_{};
    std::int64_t lastFrames_ = 0;
    int silences_ = 0;
    std::chrono::steady_clock::duration silentTotal_{};
    std::int64_t droppedAtStart_ = 0;
    TSerLineErrors lineBase_; // counted before the port was last opened
    TSerLineErrors lineLast_;
    struct Sample {
        SteadyTime time;
        std::int64_t frames;
    };
    std::deque<Sample> samples_;
    TLineFigures figures_;
};

} // namespace glowkite

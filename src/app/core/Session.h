#pragma once
// What recording needs, set up once for the window and glowkite-cli alike:
// the two log writers, the measurement decoding, the frame receiver and,
// once a port is given, the recording from it.

#include "app/core/FramePublisher.h"
#include "app/core/FrameReceiver.h"
#include "app/core/MeasurementDecoder.h"
#include "app/core/Recording.h"
#include "base/Clock.h"
#include "logging/LOGFile.h"

#include <memory>
#include <string>

namespace glowkite {

class TSerComm;

class TSession : private IRecordingEvents {
public:
    TSession(IMeasurementView &view, IFrameEvents &frameEvents, IRecordingEvents &recordingEvents,
             Clock clock = SystemClock);
    TSession(const TSession &) = delete;
    TSession &operator=(const TSession &) = delete;

    // Both writers into the folder logDir: LOG/glowKite_yymm.log, one line per
    // change of the status flags; LOG/glowkite_yymmdd.glow, one "RX: " line
    // per received frame. Every line comes stamped already (lsNone).
    void SetLogDir(const std::string &logDir);

    TLogFile StatusLog;
    TLogFile DataLog;
    TMeasurementDecoder Decoder;
    TFrameReceiver Receiver;

    // Records from comm from now on; a recording from another port is
    // detached first. comm must outlive the recording (or Detach).
    TRecording &RecordFrom(TSerComm &comm);
    void Detach() { recording_.reset(); }
    TRecording *Recording() { return recording_.get(); }

    // Hands every stored frame, status line and change of the line's state
    // on to publisher as well (null: to none). Its current state is told at once.
    void PublishTo(std::unique_ptr<IFramePublisher> publisher);
    IFramePublisher *Publisher() { return publisher_.get(); }
    // The silence watchdog calls this when frames stop coming for its
    // time-out (silent) and when they come again.
    void SilenceChanged(bool silent);

private:
    void RecordingStateChanged(TRecordingState state) override;
    void ConnectionNote(std::string_view line) override;
    void ConnectFailed(std::string_view message) override { recordingEvents_.ConnectFailed(message); }
    TLinkState LinkState() const;

    IRecordingEvents &recordingEvents_;
    Clock clock_;
    TRecordingState state_ = TRecordingState::Stopped;
    bool silent_ = false;
    // Before the recording, so the recording is gone before its publisher.
    std::unique_ptr<IFramePublisher> publisher_;
    std::unique_ptr<TRecording> recording_;
};

} // namespace glowkite

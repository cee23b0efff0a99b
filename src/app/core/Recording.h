#pragma once
// The control of a recording, shared by the window and the headless
// recorder: starting and stopping the port with the frame receiver attached,
// and, when the port goes away (USB adapter unplugged, detector power-cycled),
// waiting for it and resuming by itself. Qt-free.

#include "app/core/FrameReceiver.h"
#include "base/Clock.h"

#include <chrono>
#include <string>
#include <string_view>

namespace glowkite {

class TSerComm;

enum class TRecordingState {
    Stopped,        // "getrennt"
    Recording,      // "verbunden": the port is open and frames are read
    WaitingForPort, // the port went away; retried every RetryInterval
};

class IRecordingEvents {
public:
    virtual ~IRecordingEvents() = default;
    virtual void RecordingStateChanged(TRecordingState state) = 0;
    // A line for the status pane that marks a gap ("... Verbindung ...
    // unterbrochen", "... wieder hergestellt").
    virtual void ConnectionNote(std::string_view line) = 0;
};

// The line rate of the detector, whatever the port dialog shows.
inline constexpr std::int32_t DetectorBaudrate = 35710;

class TRecording {
public:
    TRecording(TSerComm &comm, TFrameReceiver &receiver, IRecordingEvents &events, Clock clock = SystemClock);
    ~TRecording();
    TRecording(const TRecording &) = delete;
    TRecording &operator=(const TRecording &) = delete;

    // Empties the receive buffer, fixes the rate at 35710 baud, attaches the
    // receiver, opens the port and raises DTR and RTS. Raises the serial
    // component's error when the port cannot be opened; the state stays.
    void Start();
    // Reads what has been received, then closes the port (also ends the
    // waiting for a lost port).
    void Stop();
    // Called now and then (the window's timer, the recorder's loop): while
    // waiting for a lost port, tries to open it again every RetryInterval.
    void Tick();

    TRecordingState State() const { return state_; }
    // Why the last attempt to reopen a lost port failed.
    const std::string &LastRetryError() const { return retryError_; }

    bool AutoReconnect = true;
    std::chrono::milliseconds RetryInterval{2000};

private:
    // Empties the receive buffer, fixes the rate, attaches the receiver, opens.
    void AttachAndOpen();
    void RaiseLines(); // DTR and RTS on
    void PortLost(const std::string &text);
    void SetState(TRecordingState s);
    std::string Note(std::string_view text) const;

    TSerComm &comm_;
    TFrameReceiver &receiver_;
    IRecordingEvents &events_;
    Clock clock_;
    TRecordingState state_ = TRecordingState::Stopped;
    std::chrono::steady_clock::time_point nextRetry_{};
    std::string retryError_;
};

} // namespace glowkite

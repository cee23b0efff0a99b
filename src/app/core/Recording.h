#pragma once
// The control of a recording, shared by the window and the headless
// recorder: starting and stopping the port with the frame receiver attached,
// and, when the port goes away (USB adapter unplugged, detector power-cycled),
// waiting for it and resuming by itself. Qt-free.

#include "app/core/FrameReceiver.h"
#include "base/Clock.h"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace glowkite {

class TSerComm;

enum class TRecordingState {
    Stopped,        // "getrennt"
    Recording,      // "verbunden": the port is open and frames are read
    WaitingForPort, // the port went away; retried every RetryInterval
    Connecting,     // a network port is being connected to, off the owner thread
};

class IRecordingEvents {
public:
    virtual ~IRecordingEvents() = default;
    virtual void RecordingStateChanged(TRecordingState state) = 0;
    // A line for the status pane that marks a gap ("... Verbindung ...
    // unterbrochen", "... wieder hergestellt").
    virtual void ConnectionNote(std::string_view line) = 0;
    // The first connection to a network port failed (refused, no answer);
    // the message names the address. The state is back at Stopped.
    virtual void ConnectFailed(std::string_view /*message*/) {}
};

// The line rate of the detector, whatever the port dialog shows.
inline constexpr std::int32_t DetectorBaudrate = 35710;
// How long received bytes gather before the receiver reads them: about
// three frames at the line rate, so that a continuous stream wakes the
// program a third as often, while the stamps stay well within what a USB
// adapter's own latency timer (16 ms) already puts on them.
inline constexpr std::chrono::milliseconds RxGatheringTime{20};

class TRecording {
public:
    TRecording(TSerComm &comm, TFrameReceiver &receiver, IRecordingEvents &events, Clock clock = SystemClock);
    ~TRecording();
    TRecording(const TRecording &) = delete;
    TRecording &operator=(const TRecording &) = delete;

    // Empties the receive buffer, fixes the rate at 35710 baud, attaches the
    // receiver, opens the port and raises DTR and RTS. Raises the serial
    // component's error when the port cannot be opened; the state stays.
    // A network port (tcp://, rfc2217://) is connected to on a thread of its
    // own instead, so that a server that does not answer never holds the
    // owner thread: the state is Connecting until the outcome comes back
    // through the port's hand-off (Recording, or Stopped with ConnectFailed).
    void Start();
    // Reads what has been received, then closes the port (also ends the
    // waiting for a lost port, and gives up a connection under way).
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
    // Empties the receive buffer, fixes the rate, attaches the receiver.
    void Attach();
    void RaiseLines(); // DTR and RTS on
    void PortLost(const std::string &text);
    void SetState(TRecordingState s);
    std::string Note(std::string_view text) const;
    // Network ports: the open on a thread of its own, and its outcome on the
    // owner thread.
    void BeginConnect(bool retry);
    void ConnectFinished();
    void EndConnect();

    struct TConnect;
    std::unique_ptr<TConnect> connect_;
    bool lostWhileConnecting_ = false;

    TSerComm &comm_;
    TFrameReceiver &receiver_;
    IRecordingEvents &events_;
    Clock clock_;
    TRecordingState state_ = TRecordingState::Stopped;
    std::chrono::steady_clock::time_point nextRetry_{};
    std::string retryError_;
};

} // namespace glowkite

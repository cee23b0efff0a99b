#include "app/core/Recording.h"

#include "portcfg/PortList.h"
#include "serial/SerComm.h"

namespace glowkite {

namespace {
class CommSource : public IByteSource {
public:
    explicit CommSource(TSerComm &comm) : comm_(comm) {}
    bool ReadChar(std::uint8_t &ch) override { return comm_.ReadChar(ch); }

private:
    TSerComm &comm_;
};
} // namespace

TRecording::TRecording(TSerComm &comm, TFrameReceiver &receiver, IRecordingEvents &events, Clock clock)
    : comm_(comm), receiver_(receiver), events_(events), clock_(std::move(clock))
{
}

TRecording::~TRecording()
{
    comm_.OnRxChar = nullptr;
    comm_.OnPortLost = nullptr;
}

void TRecording::AttachAndOpen()
{
    receiver_.ClearRxBuffer();
    comm_.SetBaudrate(brUser);
    comm_.SetUserBaudrate(DetectorBaudrate);
    comm_.OnRxChar = [this](TSerCustomComm &, int) {
        CommSource source(comm_);
        receiver_.CommRxCharEvent(source);
    };
    comm_.OnPortLost = [this](TSerCustomComm &, const std::string &text) { PortLost(text); };
    try {
        comm_.Open();
    } catch (const ESerCommError &e) {
        // "Permission denied" alone does not say what to do: name the group
        // the user must join. The check is the process's own access to the
        // device, not the error's (translated) text.
        const std::string hint = PortPermissionHint(comm_.DevicePath());
        if (hint.empty())
            throw;
        throw ESerCommError(std::string(e.what()) + "\n" + hint);
    }
}

void TRecording::RaiseLines()
{
    comm_.SetDTR(true);
    comm_.SetRTS(true);
}

void TRecording::Start()
{
    AttachAndOpen();
    SetState(TRecordingState::Recording);
    RaiseLines();
}

void TRecording::Stop()
{
    // What has arrived is read before the port closes, so every frame
    // received up to the stop is on disk.
    if (comm_.Active()) {
        CommSource source(comm_);
        receiver_.CommRxCharEvent(source);
    }
    comm_.Close();
    SetState(TRecordingState::Stopped);
}

void TRecording::PortLost(const std::string &)
{
    // Closing here is allowed: the component sets the event thread aside.
    comm_.Close();
    events_.ConnectionNote(Note("Verbindung zu " + comm_.DevicePath() + " unterbrochen" +
                                (AutoReconnect ? ", warte auf die Schnittstelle" : "")));
    if (AutoReconnect) {
        nextRetry_ = std::chrono::steady_clock::now() + RetryInterval;
        SetState(TRecordingState::WaitingForPort);
    } else {
        SetState(TRecordingState::Stopped);
    }
}

void TRecording::Tick()
{
    if (state_ != TRecordingState::WaitingForPort || std::chrono::steady_clock::now() < nextRetry_)
        return;
    nextRetry_ = std::chrono::steady_clock::now() + RetryInterval;
    try {
        AttachAndOpen();
        RaiseLines();
    } catch (const std::exception &e) {
        comm_.Close();
        retryError_ = e.what();
        return;
    }
    retryError_.clear();
    events_.ConnectionNote(Note("Verbindung zu " + comm_.DevicePath() + " wieder hergestellt"));
    SetState(TRecordingState::Recording);
}

void TRecording::SetState(TRecordingState s)
{
    state_ = s;
    events_.RecordingStateChanged(s);
}

std::string TRecording::Note(std::string_view text) const
{
    // The date and time first, like a status line, so the gap is found
    // where it belongs in the status pane.
    return DateTimeText(clock_()) + "  " + std::string(text);
}

} // namespace glowkite

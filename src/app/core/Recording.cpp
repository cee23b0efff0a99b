#include "app/core/Recording.h"

#include "portcfg/PortList.h"
#include "serial/SerComm.h"
#include "serial/SerNet.h"

#include <atomic>
#include <thread>

namespace glowkite {

namespace {
class CommSource : public IByteSource {
public:
    explicit CommSource(TSerComm &comm) : comm_(comm) {}
    bool ReadChar(std::uint8_t &ch) override { return comm_.ReadChar(ch); }

private:
    TSerComm &comm_;
};
// "Permission denied" alone does not say what to do: name the group the
// user must join. The check is the process's own access to the device, not
// the error's (translated) text.
void OpenWithHint(TSerComm &comm)
{
    try {
        comm.Open();
    } catch (const ESerCommError &e) {
        const std::string hint = PortPermissionHint(comm.DevicePath());
        if (hint.empty())
            throw;
        throw ESerCommError(std::string(e.what()) + "\n" + hint);
    }
}
} // namespace

// A connection to a network port under way on a thread of its own. The
// thread opens the port, then hands the outcome to the owner thread and
// ends; the owner joins it afterwards.
struct TRecording::TConnect {
    bool retry = false;
    // Shared with the component's cancel check, which outlives this.
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    std::string error; // written by the thread before its hand-off
    bool finished = false; // owner thread: the outcome has been handled
    TSerWaitEvent ended;
    std::thread thread;
};

TRecording::TRecording(TSerComm &comm, TFrameReceiver &receiver, IRecordingEvents &events, Clock clock)
    : comm_(comm), receiver_(receiver), events_(events), clock_(std::move(clock))
{
}

TRecording::~TRecording()
{
    EndConnect();
    comm_.OnRxChar = nullptr;
    comm_.OnPortLost = nullptr;
}

void TRecording::Attach()
{
    receiver_.ClearRxBuffer();
    comm_.SetBaudrate(brUser);
    comm_.SetUserBaudrate(DetectorBaudrate);
    comm_.RxGathering = RxGatheringTime;
    comm_.OnRxChar = [this](TSerCustomComm &, int) {
        // While the opening thread still works on the port, the bytes wait;
        // the outcome's hand-off reads them.
        if (connect_ && !connect_->finished)
            return;
        CommSource source(comm_);
        receiver_.CommRxCharEvent(source);
    };
    comm_.OnPortLost = [this](TSerCustomComm &, const std::string &text) {
        if (connect_ && !connect_->finished)
            lostWhileConnecting_ = true;
        else
            PortLost(text);
    };
}

void TRecording::RaiseLines()
{
    comm_.SetDTR(true);
    comm_.SetRTS(true);
}

void TRecording::Start()
{
    if (connect_ && !connect_->finished)
        return; // a connection is under way already
    EndConnect(); // the thread of the last one, about to end
    Attach();
    if (IsNetworkPortName(comm_.DevicePath())) {
        BeginConnect(false);
        return;
    }
    OpenWithHint(comm_);
    SetState(TRecordingState::Recording);
    RaiseLines();
}

void TRecording::BeginConnect(bool retry)
{
    connect_ = std::make_unique<TConnect>();
    connect_->retry = retry;
    lostWhileConnecting_ = false;
    comm_.OpenCancelled = [cancel = connect_->cancel] { return cancel->load(); };
    TConnect *c = connect_.get();
    c->thread = std::thread([this, c] {
        try {
            if (!c->cancel->load()) {
                OpenWithHint(comm_);
                RaiseLines();
            }
        } catch (const std::exception &e) {
            c->error = e.what();
        } catch (...) {
            c->error = "Unknown exception";
        }
        try {
            comm_.HandOff().Run([this] { ConnectFinished(); });
        } catch (...) {
            // The owner finds the outcome when it joins.
        }
        c->ended.SetEvent();
    });
    if (!retry)
        SetState(TRecordingState::Connecting);
}

// Owner thread, from the opening thread's hand-off.
void TRecording::ConnectFinished()
{
    if (!connect_ || connect_->cancel->load() || connect_->finished)
        return;
    connect_->finished = true;
    const bool retry = connect_->retry;
    const std::string error = connect_->error;
    const std::string path = comm_.DevicePath();
    if (!error.empty()) {
        comm_.Close(); // the lines may have failed on an open port
        if (retry) {
            retryError_ = error;
            return;
        }
        const std::string message = "Keine Verbindung zu " + path + ": " + error;
        events_.ConnectionNote(Note(message));
        SetState(TRecordingState::Stopped);
        events_.ConnectFailed(message);
        return;
    }
    if (retry) {
        retryError_.clear();
        events_.ConnectionNote(Note("Verbindung zu " + path + " wieder hergestellt"));
    }
    SetState(TRecordingState::Recording);
    if (lostWhileConnecting_) {
        lostWhileConnecting_ = false;
        PortLost({});
        return;
    }
    // What arrived while the opening thread finished its work.
    CommSource source(comm_);
    receiver_.CommRxCharEvent(source);
}

// Owner thread: gives up a connection under way (at once: its waits look at
// the cancel flag) and frees its thread. The port stays as it is.
void TRecording::EndConnect()
{
    if (!connect_)
        return;
    if (!connect_->finished)
        connect_->cancel->store(true);
    comm_.HandOff().WaitServing(connect_->ended);
    connect_->thread.join();
    connect_.reset();
    comm_.OpenCancelled = nullptr;
}

void TRecording::Stop()
{
    EndConnect();
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
    if (connect_) {
        if (!connect_->finished || !connect_->ended.IsSet())
            return;
        EndConnect();
    }
    if (state_ != TRecordingState::WaitingForPort || std::chrono::steady_clock::now() < nextRetry_)
        return;
    nextRetry_ = std::chrono::steady_clock::now() + RetryInterval;
    if (IsNetworkPortName(comm_.DevicePath())) {
        Attach();
        BeginConnect(true);
        return;
    }
    try {
        Attach();
        OpenWithHint(comm_);
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

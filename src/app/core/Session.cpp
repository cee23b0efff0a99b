#include "app/core/Session.h"

namespace glowkite {

TSession::TSession(IMeasurementView &view, IFrameEvents &frameEvents, IRecordingEvents &recordingEvents,
                   Clock clock)
    : Decoder(view, &StatusLog), Receiver(Decoder, &DataLog, frameEvents, clock),
      recordingEvents_(recordingEvents), clock_(std::move(clock))
{
}

void TSession::SetLogDir(const std::string &logDir)
{
    StatusLog.Directory = logDir;
    StatusLog.BaseName = "glowKite";
    StatusLog.Extension = "log";
    StatusLog.SetPeriod(lpMonth);
    StatusLog.SetOptions(loTimeMs);

    DataLog.Directory = logDir;
    DataLog.BaseName = "glowkite";
    DataLog.Extension = "glow";
    DataLog.SetPeriod(lpDay);
    DataLog.SetOptions(loTimeMs);
}

TRecording &TSession::RecordFrom(TSerComm &comm)
{
    recording_.reset();
    recording_ = std::make_unique<TRecording>(comm, Receiver, static_cast<IRecordingEvents &>(*this), clock_);
    return *recording_;
}

const char *LinkStateText(TLinkState state)
{
    switch (state) {
    case TLinkState::Connected: return "verbunden";
    case TLinkState::NoData: return "keine Daten";
    case TLinkState::Disconnected: return "getrennt";
    }
    return "getrennt";
}

void TSession::PublishTo(std::unique_ptr<IFramePublisher> publisher)
{
    Receiver.Publisher = publisher.get();
    Decoder.Publisher = publisher.get();
    publisher_ = std::move(publisher);
    if (publisher_)
        publisher_->PublishState(LinkState());
}

void TSession::SilenceChanged(bool silent)
{
    silent_ = silent;
    if (publisher_)
        publisher_->PublishState(LinkState());
}

TLinkState TSession::LinkState() const
{
    if (state_ != TRecordingState::Recording)
        return TLinkState::Disconnected;
    return silent_ ? TLinkState::NoData : TLinkState::Connected;
}

void TSession::RecordingStateChanged(TRecordingState state)
{
    state_ = state;
    silent_ = false; // a new start or a reopened port starts a new watch
    if (publisher_)
        publisher_->PublishState(LinkState());
    recordingEvents_.RecordingStateChanged(state);
}

void TSession::ConnectionNote(std::string_view line)
{
    recordingEvents_.ConnectionNote(line);
}

} // namespace glowkite

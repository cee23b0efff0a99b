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
    recording_ = std::make_unique<TRecording>(comm, Receiver, recordingEvents_, clock_);
    return *recording_;
}

} // namespace glowkite

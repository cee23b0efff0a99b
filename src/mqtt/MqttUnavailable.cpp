// A build without libmosquitto (the Windows cross build): the MQTT options
// are there and say so.
#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttWatcher.h"

namespace glowkite {

namespace {
[[noreturn]] void Unavailable()
{
    throw EMqttError("MQTT is not available in this build (built without libmosquitto)");
}
} // namespace

bool MqttAvailable() { return false; }

struct TMqttPublisher::Impl {};
TMqttPublisher::TMqttPublisher(const TMqttUrl &, TMqttOptions) { Unavailable(); }
TMqttPublisher::~TMqttPublisher() = default;
void TMqttPublisher::PublishFrame(std::string_view, TFrameWindow, TProtocol) {}
void TMqttPublisher::PublishStatusLine(std::string_view) {}
void TMqttPublisher::PublishState(TLinkState) {}
bool TMqttPublisher::Connected() const { return false; }
std::int64_t TMqttPublisher::FramesQueued() const { return 0; }
std::int64_t TMqttPublisher::MessagesSent() const { return 0; }
std::int64_t TMqttPublisher::MessagesLost() const { return 0; }
std::vector<std::string> TMqttPublisher::TakeNotes() { return {}; }
std::string TMqttPublisher::Summary() const { return {}; }
const TMqttUrl &TMqttPublisher::Url() const { Unavailable(); }

struct TMqttWatcher::Impl {};
TMqttWatcher::TMqttWatcher(const TMqttUrl &, std::function<void()>, TMqttOptions) { Unavailable(); }
TMqttWatcher::~TMqttWatcher() = default;
std::vector<std::string> TMqttWatcher::TakeLines() { return {}; }
std::string TMqttWatcher::RemoteState() const { return {}; }
bool TMqttWatcher::Connected() const { return false; }
std::int64_t TMqttWatcher::LinesLost() const { return 0; }
std::vector<std::string> TMqttWatcher::TakeNotes() { return {}; }
const TMqttUrl &TMqttWatcher::Url() const { Unavailable(); }

} // namespace glowkite

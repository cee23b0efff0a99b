#include "mqtt/MqttPublisher.h"

#include "app/core/Export.h"
#include "mqtt/MqttLink.h"
#include "mqtt/MqttMessages.h"

#include <array>
#include <deque>

namespace glowkite {

bool MqttAvailable()
{
    return true;
}

namespace {
enum class TKind : std::uint8_t { Frame, Status };

struct TItem {
    TKind kind;
    bool glowkiteVersion;
    std::array<std::uint8_t, FrameSize> window;
    std::string line;
};

// Handed to libmosquitto and not yet acknowledged: beyond this the queue
// holds the rest, so memory stays bounded when the broker stalls.
constexpr int MaxUnacknowledged = 1000;
} // namespace

struct TMqttPublisher::Impl : Internal::TMqttLink {
    Impl(const TMqttUrl &url, const TMqttOptions &options)
        : TMqttLink(url, options, "glowkite"), capacity(options.QueueCapacity), rxTopic(url.topic + std::string(RxSubtopic)),
          measurementTopic(url.topic + std::string(MeasurementSubtopic)),
          statusTopic(url.topic + std::string(StatusSubtopic)), stateTopic(url.topic + std::string(StateSubtopic))
    {
        SetWill(stateTopic, OfflineState);
        Start();
    }
    ~Impl() override { Stop(); }

    void Push(TItem &&item, int messages)
    {
        {
            std::lock_guard lock(mutex);
            if (queue.size() >= capacity) {
                lost += messages;
                losing = true;
                return;
            }
            queue.push_back(std::move(item));
        }
        Wake();
    }

    void OnConnected() override
    {
        unacknowledged = 0; // a new session: the library sends again what was under way
        stateSent = -1;     // the broker may have lost the retained state

    }

    void Work() override
    {
        if (stateSent != stateChanges) {
            std::string state;
            std::int64_t change;
            {
                std::lock_guard lock(mutex);
                state = this->state;
                change = stateChanges;
            }
            if (Publish(stateTopic, state, true))
                stateSent = change;
        }
        std::int64_t reportLost = 0;
        for (;;) {
            if (unacknowledged >= MaxUnacknowledged)
                break;
            TItem item;
            {
                std::lock_guard lock(mutex);
                if (queue.empty()) {
                    if (losing) {
                        // The queue has run dry after losses: report how many.
                        losing = false;
                        reportLost = lost - lostReported;
                        lostReported = lost;
                    }
                    break;
                }
                item = std::move(queue.front());
                queue.pop_front();
            }
            if (item.kind == TKind::Frame) {
                const TProtocol protocol = TProtocol::FromGlowkiteVersion(item.glowkiteVersion);
                const std::string_view label = std::string_view(item.line).substr(0, LabelLength);
                Send(rxTopic, item.line);
                Send(measurementTopic, MeasurementJson(label, TFrameWindow(item.window), protocol));
            } else {
                Send(statusTopic, Cp1252ToUtf8(item.line));
            }
        }
        if (reportLost > 0)
            Note(std::to_string(reportLost) + " Meldungen verworfen (Warteschlange voll)");
    }

    void Send(const std::string &topic, std::string_view payload)
    {
        // Refused only without a connection; the library keeps QoS 1
        // messages it has taken and sends them again after a reconnect.
        if (Publish(topic, payload, false))
            ++unacknowledged;
        else
            ++lost;
    }

    void OnPublished(int) override
    {
        if (unacknowledged > 0)
            --unacknowledged;
        ++sent;
    }

    bool Flush() override
    {
        std::lock_guard lock(mutex);
        return !queue.empty() || unacknowledged > 0 || stateSent != stateChanges;
    }

    void BeforeDisconnect() override { Publish(stateTopic, OfflineState, true); }

    const std::size_t capacity;
    const std::string rxTopic, measurementTopic, statusTopic, stateTopic;
    std::mutex mutex;
    std::deque<TItem> queue;         // under mutex
    std::string state = "getrennt";  // under mutex
    bool losing = false;             // under mutex
    std::atomic<std::int64_t> lost{0};
    std::int64_t lostReported = 0;   // link thread
    std::atomic<std::int64_t> sent{0};
    std::atomic<std::int64_t> frames{0};
    std::atomic<int> unacknowledged{0};
    std::atomic<std::int64_t> stateChanges{0}; // changed under mutex
    std::int64_t stateSent = -1;              // link thread
};

TMqttPublisher::TMqttPublisher(const TMqttUrl &url, TMqttOptions options)
    : impl_(std::make_unique<Impl>(url, options))
{
}

TMqttPublisher::~TMqttPublisher() = default;

void TMqttPublisher::PublishFrame(std::string_view rxLine, TFrameWindow window, TProtocol protocol)
{
    ++impl_->frames;
    TItem item{TKind::Frame, protocol.GlowkiteVersion(), {}, std::string(rxLine)};
    std::copy(window.begin(), window.end(), item.window.begin());
    impl_->Push(std::move(item), 2);
}

void TMqttPublisher::PublishStatusLine(std::string_view line)
{
    impl_->Push(TItem{TKind::Status, false, {}, std::string(line)}, 1);
}

void TMqttPublisher::PublishState(TLinkState state)
{
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->state == LinkStateText(state))
            return;
        impl_->state = LinkStateText(state);
        ++impl_->stateChanges;
    }
    impl_->Wake();
}

bool TMqttPublisher::Connected() const { return impl_->Connected(); }
std::int64_t TMqttPublisher::FramesQueued() const { return impl_->frames; }
std::int64_t TMqttPublisher::MessagesSent() const { return impl_->sent; }
std::int64_t TMqttPublisher::MessagesLost() const { return impl_->lost; }
std::vector<std::string> TMqttPublisher::TakeNotes() { return impl_->TakeNotes(); }
const TMqttUrl &TMqttPublisher::Url() const { return impl_->Url(); }

std::string TMqttPublisher::Summary() const
{
    return std::string("mqtt ") + (Connected() ? "connected" : "away") + ", " + std::to_string(MessagesLost()) +
           " lost";
}

} // namespace glowkite

#include "mqtt/MqttWatcher.h"

#include "mqtt/MqttLink.h"
#include "mqtt/MqttMessages.h"

#include <deque>
#include <utility>

namespace glowkite {

struct TMqttWatcher::Impl : Internal::TMqttLink {
    Impl(const TMqttUrl &url, std::function<void()> arrived, const TMqttOptions &options)
        : TMqttLink(url, options, "glowkite-watch"), arrived(std::move(arrived)), capacity(options.QueueCapacity),
          rxTopic(url.topic + std::string(RxSubtopic)), stateTopic(url.topic + std::string(StateSubtopic))
    {
        Start();
    }
    ~Impl() override { Stop(); }

    void OnConnected() override
    {
        // Each connect is a new session: subscribe again.
        Subscribe(rxTopic);
        Subscribe(stateTopic);
    }

    void OnMessage(std::string_view topic, std::string_view payload) override
    {
        bool wasEmpty = false;
        {
            std::lock_guard lock(mutex);
            if (topic == stateTopic) {
                state.assign(payload);
                wasEmpty = !pending;
                pending = true;
            } else if (topic == rxTopic) {
                if (lines.size() >= capacity) {
                    ++lost;
                    return;
                }
                wasEmpty = !pending;
                pending = true;
                lines.emplace_back(payload);
            }
        }
        if (wasEmpty && arrived)
            arrived();
    }

    std::function<void()> arrived;
    const std::size_t capacity;
    const std::string rxTopic, stateTopic;
    mutable std::mutex mutex;
    std::vector<std::string> lines; // under mutex
    std::string state;              // under mutex
    bool pending = false;           // under mutex: arrived() told, not yet taken
    std::atomic<std::int64_t> lost{0};
};

TMqttWatcher::TMqttWatcher(const TMqttUrl &url, std::function<void()> arrived, TMqttOptions options)
    : impl_(std::make_unique<Impl>(url, std::move(arrived), options))
{
}

TMqttWatcher::~TMqttWatcher() = default;

std::vector<std::string> TMqttWatcher::TakeLines()
{
    std::lock_guard lock(impl_->mutex);
    impl_->pending = false;
    return std::exchange(impl_->lines, {});
}

std::string TMqttWatcher::RemoteState() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->state;
}

bool TMqttWatcher::Connected() const { return impl_->Connected(); }
std::int64_t TMqttWatcher::LinesLost() const { return impl_->lost; }
std::vector<std::string> TMqttWatcher::TakeNotes() { return impl_->TakeNotes(); }
const TMqttUrl &TMqttWatcher::Url() const { return impl_->Url(); }

} // namespace glowkite

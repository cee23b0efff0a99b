#pragma once
// One connection to a broker, run on a thread of its own with libmosquitto
// in an external loop (poll on its socket and on a wake-up pipe), so that
// other threads only ever hand work over and never wait for the network.
// Reconnects by itself. Internal to the mqtt folder.

#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttUrl.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace glowkite::Internal {

class TMqttLink {
public:
    TMqttLink(const TMqttUrl &url, const TMqttOptions &options, const std::string &clientPrefix);
    virtual ~TMqttLink();
    TMqttLink(const TMqttLink &) = delete;
    TMqttLink &operator=(const TMqttLink &) = delete;

    // Before Start: the message the broker sends for us when we vanish.
    void SetWill(const std::string &topic, std::string_view payload);
    void Start();
    // Ends the thread (derived classes call it first in their destructor).
    void Stop();
    // From any thread: the link thread runs Work() soon.
    void Wake();

    bool Connected() const { return connected_; }
    std::vector<std::string> TakeNotes();
    const TMqttUrl &Url() const { return url_; }

protected:
    // On the link thread.
    virtual void OnConnected() {}
    virtual void Work() {}
    virtual void OnMessage(std::string_view topic, std::string_view payload) { (void)topic, (void)payload; }
    virtual void OnPublished(int mid) { (void)mid; }
    // While stopping and still connected: true while something is left to send.
    virtual bool Flush() { return false; }
    virtual void BeforeDisconnect() {}

    // QoS 1; true when libmosquitto took the message (mid set).
    bool Publish(const std::string &topic, std::string_view payload, bool retain, int *mid = nullptr);
    bool Subscribe(const std::string &topic);
    void Note(const std::string &text);

private:
    void Run();
    void Lost(const std::string &why);
    static void ConnectCallback(mosquitto *, void *self, int rc);
    static void PublishCallback(mosquitto *, void *self, int mid);
    static void MessageCallback(mosquitto *, void *self, const mosquitto_message *message);

    TMqttUrl url_;
    TMqttOptions options_;
    mosquitto *m_ = nullptr;
    int wakeRead_ = -1, wakeWrite_ = -1;
    std::atomic<bool> wakePending_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> connected_{false};
    bool socketOpen_ = false;
    bool failing_ = false; // a failure was noted; the next one is not
    std::mutex notesMutex_;
    std::vector<std::string> notes_;
    std::thread thread_;
};

} // namespace glowkite::Internal

#pragma once
// A real mosquitto broker for the tests, on a free localhost port with its
// own configuration in a temporary folder, started and stopped by the test;
// and a small subscriber (libmosquitto with its own network thread) that
// keeps what arrives with its arrival time.

#include "support/TestFiles.h"

#include <mosquitto.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace glowkite::test {

inline int FreeLocalPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(s);
        throw std::runtime_error("no free port");
    }
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

inline bool PortAnswers(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

class MosquittoBroker {
public:
    // persistent: the broker keeps sessions and queued messages across a
    // restart (in its folder).
    explicit MosquittoBroker(bool persistent = false) : port_(FreeLocalPort())
    {
        std::string conf = "listener " + std::to_string(port_) + " 127.0.0.1\nallow_anonymous true\n";
        if (persistent)
            conf += "persistence true\npersistence_location " + dir_.path().string() + "/\n";
        WriteFile((dir_.path() / "mosquitto.conf").string(), conf);
        Start();
    }
    ~MosquittoBroker() { Stop(); }
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    void Start()
    {
        const std::string conf = (dir_.path() / "mosquitto.conf").string();
        const std::string log = (dir_.path() / "broker.log").string();
        pid_ = ::fork();
        if (pid_ == 0) {
            std::freopen(log.c_str(), "a", stderr);
            std::freopen(log.c_str(), "a", stdout);
            ::execlp("mosquitto", "mosquitto", "-c", conf.c_str(), nullptr);
            ::execl("/usr/sbin/mosquitto", "mosquitto", "-c", conf.c_str(), nullptr);
            ::_exit(127);
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!PortAnswers(port_)) {
            int status;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                throw std::runtime_error("mosquitto did not start: " + ReadFile(log));
            }
            if (std::chrono::steady_clock::now() > end)
                throw std::runtime_error("mosquitto does not listen on " + std::to_string(port_));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    void Stop()
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    int Port() const { return port_; }
    std::string Url(const std::string &topic) const
    {
        return "mqtt://127.0.0.1:" + std::to_string(port_) + "/" + topic;
    }

private:
    TempDir dir_;
    int port_;
    pid_t pid_ = -1;
};

struct MqttMessage {
    std::string topic, payload;
    bool retained = false;
    std::chrono::steady_clock::time_point at;
};

class Subscriber {
public:
    // clientId empty: a clean session; else a persistent one by that id.
    Subscriber(int port, std::vector<std::string> topics, const std::string &clientId = {})
        : topics_(std::move(topics))
    {
        mosquitto_lib_init();
        m_ = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), clientId.empty(), this);
        mosquitto_connect_callback_set(m_, [](mosquitto *m, void *self, int rc) {
            auto *s = static_cast<Subscriber *>(self);
            if (rc != 0)
                return;
            for (const std::string &t : s->topics_)
                mosquitto_subscribe(m, nullptr, t.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(m_, [](mosquitto *, void *self, int, int, const int *) {
            auto *s = static_cast<Subscriber *>(self);
            std::lock_guard lock(s->mutex_);
            ++s->subscribed_;
        });
        mosquitto_message_callback_set(m_, [](mosquitto *, void *self, const mosquitto_message *msg) {
            auto *s = static_cast<Subscriber *>(self);
            MqttMessage m{msg->topic,
                          std::string(static_cast<const char *>(msg->payload), static_cast<std::size_t>(msg->payloadlen)),
                          msg->retain, std::chrono::steady_clock::now()};
            std::lock_guard lock(s->mutex_);
            s->messages_.push_back(std::move(m));
        });
        mosquitto_reconnect_delay_set(m_, 1, 1, false);
        mosquitto_connect(m_, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_);
        WaitFor([this] { return Subscriptions() >= static_cast<int>(topics_.size()); });
    }
    ~Subscriber()
    {
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, false);
        mosquitto_destroy(m_);
    }
    // Subscribed (again) as often as n times the topics.
    int Subscriptions()
    {
        std::lock_guard lock(mutex_);
        return subscribed_;
    }
    std::vector<MqttMessage> Messages(const std::string &topic = {})
    {
        std::lock_guard lock(mutex_);
        std::vector<MqttMessage> out;
        for (const MqttMessage &m : messages_)
            if (topic.empty() || m.topic == topic)
                out.push_back(m);
        return out;
    }
    std::vector<std::string> Payloads(const std::string &topic)
    {
        std::vector<std::string> out;
        for (const MqttMessage &m : Messages(topic))
            out.push_back(m.payload);
        return out;
    }
    bool WaitFor(const std::function<bool()> &pred, std::chrono::milliseconds limit = std::chrono::seconds(15))
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    std::vector<std::string> topics_;
    mosquitto *m_ = nullptr;
    std::mutex mutex_;
    std::vector<MqttMessage> messages_;
    int subscribed_ = 0;
};

} // namespace glowkite::test

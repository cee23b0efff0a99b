#include "mqtt/MqttLink.h"

#include "base/Clock.h"

#include <mosquitto.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <cstring>

namespace glowkite::Internal {

namespace {
void InitLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string ErrorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(rc);
}
} // namespace

TMqttLink::TMqttLink(const TMqttUrl &url, const TMqttOptions &options, const std::string &clientPrefix)
    : url_(url), options_(options)
{
    InitLibrary();
    // A client id of our own (not the library's random one), so the
    // broker's log names the program; the process id keeps two apart.
    const std::string id = clientPrefix + "-" + std::to_string(::getpid()) + "-" +
                           std::to_string(reinterpret_cast<std::uintptr_t>(this) & 0xFFFF);
    m_ = mosquitto_new(id.c_str(), true, this);
    if (!m_)
        throw EMqttError("Cannot create an MQTT client: " + ErrorText(MOSQ_ERR_ERRNO));
    mosquitto_connect_callback_set(m_, &TMqttLink::ConnectCallback);
    mosquitto_publish_callback_set(m_, &TMqttLink::PublishCallback);
    mosquitto_message_callback_set(m_, &TMqttLink::MessageCallback);
    // More than the default 20 messages under way, so a distant broker
    // (tens of milliseconds away) keeps up with the line rate.
    mosquitto_int_option(m_, MOSQ_OPT_SEND_MAXIMUM, 200);
    if (!url_.user.empty())
        mosquitto_username_pw_set(m_, url_.user.c_str(), url_.password.empty() ? nullptr : url_.password.c_str());
    int fds[2];
    if (::pipe(fds) != 0) {
        mosquitto_destroy(m_);
        throw EMqttError("Cannot create an MQTT client: " + std::string(std::strerror(errno)));
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    for (int fd : fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
}

TMqttLink::~TMqttLink()
{
    Stop();
    mosquitto_destroy(m_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

void TMqttLink::SetWill(const std::string &topic, std::string_view payload)
{
    mosquitto_will_set(m_, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, true);
}

void TMqttLink::Start()
{
    thread_ = std::thread([this] { Run(); });
}

void TMqttLink::Stop()
{
    if (!thread_.joinable())
        return;
    stop_ = true;
    Wake();
    thread_.join();
}

void TMqttLink::Wake()
{
    // One byte per wake-up at most: the receive path pays a system call
    // only when the link thread may be asleep.
    if (!wakePending_.exchange(true)) {
        const char b = 1;
        [[maybe_unused]] const auto n = ::write(wakeWrite_, &b, 1);
    }
}

std::vector<std::string> TMqttLink::TakeNotes()
{
    std::lock_guard lock(notesMutex_);
    return std::exchange(notes_, {});
}

void TMqttLink::Note(const std::string &text)
{
    std::lock_guard lock(notesMutex_);
    notes_.push_back(DateTimeText(SystemClock()) + "  MQTT: " + text);
}

bool TMqttLink::Publish(const std::string &topic, std::string_view payload, bool retain, int *mid)
{
    return mosquitto_publish(m_, mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain) ==
           MOSQ_ERR_SUCCESS;
}

bool TMqttLink::Subscribe(const std::string &topic)
{
    return mosquitto_subscribe(m_, nullptr, topic.c_str(), 1) == MOSQ_ERR_SUCCESS;
}

void TMqttLink::ConnectCallback(mosquitto *, void *self, int rc)
{
    auto *link = static_cast<TMqttLink *>(self);
    if (rc != 0) {
        // Refused (not authorised, ...): the library drops the connection.
        link->Lost(mosquitto_connack_string(rc));
        return;
    }
    link->connected_ = true;
    link->failing_ = false;
    link->Note("Verbindung zu " + link->url_.Address() + " hergestellt");
    link->OnConnected();
}

void TMqttLink::PublishCallback(mosquitto *, void *self, int mid)
{
    static_cast<TMqttLink *>(self)->OnPublished(mid);
}

void TMqttLink::MessageCallback(mosquitto *, void *self, const mosquitto_message *message)
{
    static_cast<TMqttLink *>(self)->OnMessage(
        message->topic, std::string_view(static_cast<const char *>(message->payload),
                                         static_cast<std::size_t>(message->payloadlen)));
}

void TMqttLink::Lost(const std::string &why)
{
    const bool was = connected_.exchange(false);
    // One note per run of failures, not one per retry.
    if (!failing_)
        Note((was ? "Verbindung zu " + url_.Address() + " unterbrochen: "
                  : "Broker " + url_.Address() + " nicht erreichbar: ") +
             why);
    failing_ = true;
}

void TMqttLink::Run()
{
    using clock = std::chrono::steady_clock;
    bool everTried = false;
    auto nextTry = clock::now();
    auto stopDeadline = clock::time_point::max();
    bool disconnecting = false;
    for (;;) {
        const auto now = clock::now();
        if (stop_ && stopDeadline == clock::time_point::max())
            stopDeadline = now + std::chrono::seconds(1);
        if (stop_ && (!connected_ || now >= stopDeadline || disconnecting))
            break;
        if (stop_ && connected_ && !disconnecting && !Flush()) {
            BeforeDisconnect();
            mosquitto_disconnect(m_);
            disconnecting = true;
        }

        if (!socketOpen_ && !stop_ && now >= nextTry) {
            // Non-blocking connect; only the name lookup may take a while,
            // and it does so here, not on a caller's thread.
            const int rc = everTried ? mosquitto_reconnect_async(m_)
                                     : mosquitto_connect_async(m_, url_.host.c_str(), url_.port,
                                                               options_.KeepAliveSeconds);
            everTried = true;
            if (rc == MOSQ_ERR_SUCCESS) {
                socketOpen_ = true;
            } else {
                Lost(ErrorText(rc));
                nextTry = now + options_.ReconnectDelay;
            }
        }
        if (connected_)
            Work();

        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {-1, 0, 0}};
        nfds_t n = 1;
        const int sock = mosquitto_socket(m_);
        if (socketOpen_ && sock >= 0) {
            fds[1] = {sock, static_cast<short>(POLLIN | (mosquitto_want_write(m_) ? POLLOUT : 0)), 0};
            n = 2;
        }
        int timeout = 1000; // keep-alive pings need a look now and then
        if (!socketOpen_ && !stop_)
            timeout = static_cast<int>(std::clamp<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(nextTry - clock::now()).count(), 0, 1000));
        if (stop_)
            timeout = 50;
        ::poll(fds, n, timeout);
        if (fds[0].revents & POLLIN) {
            char buf[64];
            while (::read(wakeRead_, buf, sizeof buf) > 0) {
            }
            wakePending_ = false;
        }
        if (n == 2) {
            int rc = MOSQ_ERR_SUCCESS;
            if (fds[1].revents & (POLLIN | POLLERR | POLLHUP))
                rc = mosquitto_loop_read(m_, 1);
            if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(m_))
                rc = mosquitto_loop_write(m_, 1);
            if (rc == MOSQ_ERR_SUCCESS)
                rc = mosquitto_loop_misc(m_);
            if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(m_) < 0) {
                socketOpen_ = false;
                if (!disconnecting)
                    Lost(rc == MOSQ_ERR_SUCCESS ? "Verbindung geschlossen" : ErrorText(rc));
                nextTry = clock::now() + options_.ReconnectDelay;
                if (disconnecting)
                    break;
            }
        }
    }
    // Whatever the disconnect left unsent goes out now, briefly.
    if (disconnecting) {
        for (int i = 0; i < 20 && mosquitto_want_write(m_) && mosquitto_socket(m_) >= 0; ++i)
            if (mosquitto_loop_write(m_, 1) != MOSQ_ERR_SUCCESS)
                break;
    }
}

} // namespace glowkite::Internal

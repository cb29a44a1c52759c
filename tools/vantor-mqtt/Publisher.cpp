#include "Publisher.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/Result.h"

namespace vantor::mqtt {
namespace {

constexpr int kFirstBackoffMs = 250;
constexpr int kMaxBackoffMs = 30000;
constexpr int kPollMs = 500;
constexpr int kFlushMs = 2000;
// Sent per turn of the loop, so reading (control, pings) is never starved.
constexpr int kBatch = 256;

std::once_flag g_libInit;

uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

Publisher::Publisher(PublisherOptions options) : m_options(std::move(options)) {}

Publisher::~Publisher() {
    if (m_thread.joinable()) Stop({});
    if (m_mosq != nullptr) ::mosquitto_destroy(m_mosq);
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}

void Publisher::Log(const std::string& line) const {
    if (m_options.log) m_options.log(line);
}

bool Publisher::Start(std::string& error) {
    std::call_once(g_libInit, [] { ::mosquitto_lib_init(); });
    m_mosq = ::mosquitto_new(m_options.clientId.c_str(), true, this);
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_mosq == nullptr || m_wakeFd < 0) {
        error = "cannot create the MQTT client";
        return false;
    }
    ::mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Many small messages: without this, Nagle's algorithm holds each one
    // back until the previous one is acknowledged (tens of milliseconds).
    ::mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    ::mosquitto_connect_callback_set(m_mosq, ConnectCallback);
    ::mosquitto_disconnect_callback_set(m_mosq, DisconnectCallback);
    ::mosquitto_message_callback_set(m_mosq, MessageCallback);
    // QoS 1 and 2 messages in flight; more wait in our own queue.
    ::mosquitto_max_inflight_messages_set(m_mosq, 1000);
    if (!m_options.willTopic.empty() &&
        ::mosquitto_will_set(m_mosq, m_options.willTopic.c_str(),
                             static_cast<int>(m_options.willPayload.size()),
                             m_options.willPayload.data(), 1, true) != MOSQ_ERR_SUCCESS) {
        error = "cannot set the last will on " + m_options.willTopic;
        return false;
    }
    if (!m_options.username.empty() &&
        ::mosquitto_username_pw_set(
            m_mosq, m_options.username.c_str(),
            m_options.password.empty() ? nullptr : m_options.password.c_str()) !=
            MOSQ_ERR_SUCCESS) {
        error = "cannot set the user name";
        return false;
    }
    if (!m_options.caFile.empty()) {
        const int rc = ::mosquitto_tls_set(
            m_mosq, m_options.caFile.c_str(), nullptr,
            m_options.certFile.empty() ? nullptr : m_options.certFile.c_str(),
            m_options.keyFile.empty() ? nullptr : m_options.keyFile.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = std::string("TLS set-up failed: ") + ::mosquitto_strerror(rc);
            return false;
        }
    }
    m_thread = std::thread([this] { Run(); });
    return true;
}

void Publisher::Wake() const {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

void Publisher::Enqueue(std::vector<OutMessage>& messages) {
    if (messages.empty()) return;
    {
        std::lock_guard lock(m_mutex);
        for (OutMessage& m : messages) {
            if (m.retained) {
                if (std::find(m_retainedDirty.begin(), m_retainedDirty.end(), m.topic) ==
                    m_retainedDirty.end()) {
                    m_retainedDirty.push_back(m.topic);
                }
                m_retained[m.topic] = std::move(m);
                continue;
            }
            if (m_queue.size() >= m_options.queueLimit) {
                m_queue.pop_front();
                ++m_stats.dropped;
            }
            m_queue.push_back(std::move(m));
        }
    }
    messages.clear();
    Wake();
}

PublisherStats Publisher::Stats() const {
    std::lock_guard lock(m_mutex);
    return m_stats;
}

void Publisher::ConnectCallback(mosquitto* /*mosq*/, void* self, int rc) {
    static_cast<Publisher*>(self)->OnConnect(rc);
}

void Publisher::DisconnectCallback(mosquitto* /*mosq*/, void* self, int /*rc*/) {
    static_cast<Publisher*>(self)->OnDisconnect();
}

void Publisher::MessageCallback(mosquitto* /*mosq*/, void* self, const mosquitto_message* message) {
    auto* p = static_cast<Publisher*>(self);
    if (!p->m_options.onMessage || message->topic == nullptr) return;
    std::string payload;
    if (message->payloadlen > 0 && message->payload != nullptr) {
        payload.assign(static_cast<const char*>(message->payload),
                       static_cast<size_t>(message->payloadlen));
    }
    p->m_options.onMessage(message->topic, payload);
}

void Publisher::OnConnect(int rc) {
    if (rc != 0) {
        Log(std::string("broker refused the connection: ") + ::mosquitto_connack_string(rc));
        ::mosquitto_disconnect(m_mosq);
        return;
    }
    m_connected.store(true);
    m_backoffMs = 0;
    {
        std::lock_guard lock(m_mutex);
        ++m_stats.connects;
        // A broker that restarted may have lost them: send every state again.
        m_retainedDirty.clear();
        for (auto& [topic, m] : m_retained) m_retainedDirty.push_back(topic);
    }
    Log("connected to " + m_options.host + ":" + std::to_string(m_options.port));
    for (const std::string& sub : m_options.subscriptions) {
        if (::mosquitto_subscribe(m_mosq, nullptr, sub.c_str(), 1) != MOSQ_ERR_SUCCESS) {
            Log("cannot subscribe to " + sub);
        }
    }
}

void Publisher::OnDisconnect() {
    if (m_connected.exchange(false)) Log("connection to the broker lost");
}

bool Publisher::TryConnect() {
    const int rc =
        ::mosquitto_connect(m_mosq, m_options.host.c_str(), m_options.port, m_options.keepaliveS);
    if (rc == MOSQ_ERR_SUCCESS) return true;
    if (m_backoffMs == 0) {  // once per outage
        Log("cannot reach the broker at " + m_options.host + ":" + std::to_string(m_options.port) +
            ": " +
            (rc == MOSQ_ERR_ERRNO ? std::string(platform::ErrnoText(errno))
                                  : std::string(::mosquitto_strerror(rc))) +
            "; retrying");
    }
    return false;
}

void Publisher::Drain() {
    std::vector<OutMessage> batch;
    {
        std::lock_guard lock(m_mutex);
        for (const std::string& topic : m_retainedDirty) batch.push_back(m_retained[topic]);
        m_retainedDirty.clear();
        while (!m_queue.empty() && static_cast<int>(batch.size()) < kBatch) {
            batch.push_back(std::move(m_queue.front()));
            m_queue.pop_front();
        }
    }
    uint64_t sent = 0;
    for (const OutMessage& m : batch) {
        const int rc = ::mosquitto_publish(m_mosq, nullptr, m.topic.c_str(),
                                           static_cast<int>(m.payload.size()), m.payload.data(),
                                           m.qos, m.retained);
        if (rc == MOSQ_ERR_SUCCESS) ++sent;
    }
    std::lock_guard lock(m_mutex);
    m_stats.sent += sent;
    m_stats.dropped += batch.size() - sent;
}

void Publisher::Run() {
    uint64_t nextAttempt = 0;
    while (!m_stop.load()) {
        if (!m_socketOpen) {
            const uint64_t now = NowMs();
            if (now >= nextAttempt) {
                m_socketOpen = TryConnect();
                if (!m_socketOpen) {
                    m_backoffMs = m_backoffMs == 0 ? kFirstBackoffMs
                                                   : std::min(m_backoffMs * 2, kMaxBackoffMs);
                    nextAttempt = now + static_cast<uint64_t>(m_backoffMs);
                }
                continue;
            }
            pollfd wake{m_wakeFd, POLLIN, 0};
            ::poll(&wake, 1, static_cast<int>(std::min<uint64_t>(nextAttempt - now, kPollMs)));
            uint64_t drained = 0;
            [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &drained, sizeof drained);
            continue;
        }
        if (m_connected.load()) Drain();
        pollfd fds[2] = {{::mosquitto_socket(m_mosq), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::mosquitto_want_write(m_mosq)) fds[0].events |= POLLOUT;
        ::poll(fds, 2, kPollMs);
        if ((fds[1].revents & POLLIN) != 0) {
            uint64_t drained = 0;
            [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &drained, sizeof drained);
        }
        int rc = MOSQ_ERR_SUCCESS;
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            rc = ::mosquitto_loop_read(m_mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS && ::mosquitto_want_write(m_mosq)) {
            rc = ::mosquitto_loop_write(m_mosq, 1);
        }
        if (rc == MOSQ_ERR_SUCCESS) rc = ::mosquitto_loop_misc(m_mosq);
        if (rc != MOSQ_ERR_SUCCESS) {
            OnDisconnect();
            m_socketOpen = false;
            m_backoffMs =
                m_backoffMs == 0 ? kFirstBackoffMs : std::min(m_backoffMs * 2, kMaxBackoffMs);
            nextAttempt = NowMs() + static_cast<uint64_t>(m_backoffMs);
        }
    }
    if (m_socketOpen && m_connected.load()) {
        OutMessage last;
        {
            std::lock_guard lock(m_mutex);
            last = m_last;
        }
        if (!last.topic.empty()) {
            ::mosquitto_publish(m_mosq, nullptr, last.topic.c_str(),
                                static_cast<int>(last.payload.size()), last.payload.data(), 1,
                                last.retained);
        }
        ::mosquitto_disconnect(m_mosq);
        const uint64_t end = NowMs() + kFlushMs;
        while (::mosquitto_want_write(m_mosq) && NowMs() < end) {
            if (::mosquitto_loop_write(m_mosq, 1) != MOSQ_ERR_SUCCESS) break;
        }
    }
}

void Publisher::Stop(const OutMessage& last) {
    {
        std::lock_guard lock(m_mutex);
        m_last = last;
    }
    m_stop.store(true);
    Wake();
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace vantor::mqtt

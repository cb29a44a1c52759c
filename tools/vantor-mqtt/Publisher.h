#pragma once
// The connection to the broker: libmosquitto driven by one thread of its own,
// which connects (again and again, with back-off), sends what the sampler
// queued and hands received control messages on. The queue is bounded: while
// the broker is away the oldest data messages are dropped, and the latest
// retained message of each topic is kept and sent again on every connect.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Sampler.h"

struct mosquitto;
struct mosquitto_message;

namespace vantor::mqtt {

struct PublisherOptions {
    std::string host;
    int port = 1883;
    std::string clientId;
    std::string username;
    std::string password;
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    int keepaliveS = 30;
    std::string willTopic;
    std::string willPayload;
    std::vector<std::string> subscriptions;  // QoS 1
    size_t queueLimit = 20000;
    // Called on the publisher's thread for each message on a subscription.
    std::function<void(const std::string& topic, const std::string& payload)> onMessage;
    // Called on the publisher's thread with each line worth logging.
    std::function<void(const std::string& line)> log;
};

struct PublisherStats {
    uint64_t sent = 0;
    uint64_t dropped = 0;  // data messages dropped from a full queue
    uint64_t connects = 0;
};

class Publisher {
public:
    explicit Publisher(PublisherOptions options);
    ~Publisher();
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    // Sets up the client and starts the thread; false with a reason when the
    // options cannot be used (a missing TLS file, say).
    bool Start(std::string& error);
    // Queues messages; never blocks on the network.
    void Enqueue(std::vector<OutMessage>& messages);
    // Sends last (a retained status, normally) if connected, disconnects
    // cleanly and ends the thread.
    void Stop(const OutMessage& last);

    bool Connected() const { return m_connected.load(); }
    PublisherStats Stats() const;

private:
    void Run();
    bool TryConnect();
    void Drain();
    void Wake() const;
    void Log(const std::string& line) const;
    void OnConnect(int rc);
    void OnDisconnect();
    static void ConnectCallback(mosquitto* mosq, void* self, int rc);
    static void DisconnectCallback(mosquitto* mosq, void* self, int rc);
    static void MessageCallback(mosquitto* mosq, void* self, const mosquitto_message* message);

    PublisherOptions m_options;
    mosquitto* m_mosq = nullptr;
    int m_wakeFd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_connected{false};
    bool m_socketOpen = false;  // publisher thread only
    int m_backoffMs = 0;

    mutable std::mutex m_mutex;  // guards what follows
    std::deque<OutMessage> m_queue;
    std::map<std::string, OutMessage> m_retained;  // latest per topic
    std::vector<std::string> m_retainedDirty;
    PublisherStats m_stats;
    OutMessage m_last;
};

}  // namespace vantor::mqtt

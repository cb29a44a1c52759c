#include "Bridge.h"

#include <chrono>
#include <memory>
#include <thread>

#include "Control.h"
#include "Payload.h"
#include "Publisher.h"
#include "Sampler.h"
#include "protocol/BlockClient.h"
#include "protocol/PeerSender.h"

namespace vantor::mqtt {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kConnectEvery = std::chrono::seconds(5);
constexpr auto kServerCheckEvery = std::chrono::seconds(1);
constexpr auto kStatusEvery = std::chrono::seconds(10);

double UnixSeconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::string IdArray(const std::vector<int>& ids) {
    std::string s = "[";
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i > 0) s += ',';
        s += std::to_string(ids[i]);
    }
    return s + "]";
}

// The running server's status, or nullopt; a file left by a killed server
// names no server.
std::optional<protocol::ServerStatus> RunningServer() {
    auto status = protocol::ReadServerStatus();
    if (status && !protocol::ServerProcessRuns(status->pid)) status.reset();
    return status;
}

}  // namespace

std::string StatusJson(const BridgeConfig& c, bool online, const StatusInfo& info) {
    std::string s = "{\"state\":";
    s += online ? "\"online\"" : "\"offline\"";
    s += ",\"station\":" + JsonString(c.station);
    if (!online) return s + "}";
    s += ",\"server\":";
    if (info.server) {
        s += "{\"board\":" + JsonString(info.server->board) +
             ",\"mode\":" + std::to_string(info.server->mode) +
             ",\"pid\":" + std::to_string(info.server->pid) +
             ",\"boardLost\":" + (info.server->boardLost != 0 ? "true" : "false") + "}";
    } else {
        s += "null";
    }
    s += ",\"analog\":" + IdArray(ListIds(c.channels, 0, 15));
    s += ",\"frequency\":" + IdArray(ListIds(c.freq, 200, 207));
    s += ",\"counter\":" + IdArray(ListIds(c.counter, 300, 303));
    s += ",\"din\":" + IdArray(ListIds(c.din, 0, 15));
    s += ",\"control\":";
    s += c.control ? "true" : "false";
    s += ",\"format\":";
    s += c.format == PayloadFormat::Json ? "\"json\"" : "\"binary\"";
    s += ",\"interval_ms\":" + std::to_string(c.intervalMs);
    s += ",\"messages_per_s\":" + JsonNumber(info.messagesPerS);
    s += ",\"samples_per_s\":" + JsonNumber(info.samplesPerS);
    s += ",\"dropped\":" + std::to_string(info.dropped);
    return s + "}";
}

namespace {

// One run of the bridge's loop: what it keeps between two reads, and one
// method per job of a tick.
class BridgeLoop {
public:
    BridgeLoop(const BridgeConfig& config, Publisher& publisher, Control& control,
               const std::function<void(const std::string&)>& log)
        : m_config(config),
          m_publisher(publisher),
          m_control(control),
          m_log(log),
          m_statusTopic(Topic(config.prefix, config.station, "status")),
          m_sampler(config) {
        std::string error;
        protocol::BuildConnectRequest(PeerDescriptionOf(config), m_connect, error);
        m_peerName = protocol::TrimmedPeerName(PeerDescriptionOf(config).name);
        const auto now = Clock::now();
        m_nextConnect = m_nextServerCheck = m_nextStatus = m_rateStart = now;
    }

    void Tick(Clock::time_point now) {
        if (now >= m_nextServerCheck) CheckServer(now);
        if (now >= m_nextConnect) {
            m_nextConnect = now + kConnectEvery;
            m_sender.Send(m_connect);
        }
        if (!m_attached) Attach();
        if (m_attached) ReadAndPublish();
        if (now >= m_nextStatus) PublishStatus(now);
    }

    void Leave() {
        m_sender.Send(protocol::BuildDisconnectRequest(m_peerName));
        m_publisher.Stop({m_statusTopic, StatusJson(m_config, false, {}), 1, true});
    }

private:
    // A new server: attach afresh (the block may be a new object) and
    // announce ourselves at once.
    void CheckServer(Clock::time_point now) {
        m_nextServerCheck = now + kServerCheckEvery;
        auto server = RunningServer();
        const long pid = server ? server->pid : 0;
        if (pid != m_serverPid || m_info.server != server) m_nextStatus = now;
        if (pid != m_serverPid) {
            if (m_serverPid >= 0) {
                m_log(pid != 0 ? "server " + std::to_string(pid) + " is running"
                               : "the server has ended");
            }
            if (pid != 0) {
                m_block = std::make_unique<protocol::BlockClient>();
                m_attached = false;
                m_nextConnect = now;
                if (m_serverPid > 0) m_sampler.Resync();
            }
            m_serverPid = pid;
        }
        m_info.server = server;
    }

    void Attach() {
        m_attached = m_block->Attach() == protocol::BlockClient::Status::Attached;
        if (!m_attached && !m_blockWarned) {
            m_log("no shared data block yet (" + m_block->Error() + "); waiting for the server");
            m_blockWarned = true;
        }
        if (m_attached && m_blockWarned) m_log("attached to the shared data block");
        if (m_attached) m_blockWarned = false;
    }

    void ReadAndPublish() {
        if (m_block->Read(*m_copy)) {
            m_sampler.Collect(*m_copy, UnixSeconds(), m_out);
            m_publisher.Enqueue(m_out);
        } else {
            m_log("cannot read the shared data block: " + m_block->Error());
        }
        for (const std::string& line : m_control.Apply(*m_block)) m_log(line);
    }

    void PublishStatus(Clock::time_point now) {
        m_nextStatus = now + kStatusEvery;
        const PublisherStats stats = m_publisher.Stats();
        const double seconds = std::chrono::duration<double>(now - m_rateStart).count();
        if (seconds > 0.5) {
            m_info.samplesPerS =
                static_cast<double>(m_sampler.SamplesTaken() - m_rateSamples) / seconds;
            m_info.messagesPerS = static_cast<double>(stats.sent - m_rateSent) / seconds;
            m_rateStart = now;
            m_rateSamples = m_sampler.SamplesTaken();
            m_rateSent = stats.sent;
        }
        m_info.dropped = stats.dropped;
        m_out.push_back({m_statusTopic, StatusJson(m_config, true, m_info), 1, true});
        m_publisher.Enqueue(m_out);
    }

    const BridgeConfig& m_config;
    Publisher& m_publisher;
    Control& m_control;
    const std::function<void(const std::string&)>& m_log;
    const std::string m_statusTopic;
    protocol::AcqRequest m_connect{};
    std::string m_peerName;
    protocol::PeerSender m_sender;
    Sampler m_sampler;
    std::unique_ptr<protocol::BlockClient> m_block = std::make_unique<protocol::BlockClient>();
    bool m_attached = false;
    bool m_blockWarned = false;
    std::unique_ptr<protocol::SharedBlock> m_copy = std::make_unique<protocol::SharedBlock>();
    std::vector<OutMessage> m_out;
    Clock::time_point m_nextConnect, m_nextServerCheck, m_nextStatus, m_rateStart;
    uint64_t m_rateSamples = 0;
    uint64_t m_rateSent = 0;
    StatusInfo m_info;
    long m_serverPid = -1;  // -1: not looked yet, 0: none
};

PublisherOptions PublisherOptionsOf(const BridgeConfig& config, const std::string& password,
                                    Control& control,
                                    const std::function<void(const std::string&)>& log) {
    PublisherOptions po;
    po.host = config.host;
    po.port = config.port;
    po.clientId = config.clientId;
    po.username = config.username;
    po.password = password;
    po.caFile = config.caFile;
    po.certFile = config.certFile;
    po.keyFile = config.keyFile;
    po.keepaliveS = config.keepaliveS;
    po.willTopic = Topic(config.prefix, config.station, "status");
    po.willPayload = StatusJson(config, false, {});
    po.queueLimit = static_cast<size_t>(config.queueLimit);
    po.log = log;
    if (config.control) {
        po.subscriptions = {Topic(config.prefix, config.station, "dout/+/set"),
                            Topic(config.prefix, config.station, "counter/+/hold/set")};
        po.onMessage = [&control, &log](const std::string& topic, const std::string& payload) {
            std::string refused = control.Offer(topic, payload);
            if (!refused.empty()) log(refused);
        };
    }
    return po;
}

}  // namespace

int RunBridge(const BridgeConfig& config, const std::string& password,
              const std::atomic<bool>& stop, const std::function<void(const std::string&)>& log) {
    Control control(config.prefix, config.station, ListIds(config.dout, 0, 15));
    Publisher publisher(PublisherOptionsOf(config, password, control, log));
    std::string error;
    if (!publisher.Start(error)) {
        log(error);
        return 1;
    }
    BridgeLoop loop(config, publisher, control, log);
    const auto interval = std::chrono::milliseconds(config.intervalMs);
    auto nextTick = Clock::now();
    while (!stop.load()) {
        loop.Tick(Clock::now());
        nextTick += interval;
        const auto now = Clock::now();
        if (nextTick < now) nextTick = now;  // fell behind: no burst to catch up
        std::this_thread::sleep_until(nextTick);
    }
    loop.Leave();
    return 0;
}

}  // namespace vantor::mqtt

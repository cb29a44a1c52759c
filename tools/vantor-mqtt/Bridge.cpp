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

int RunBridge(const BridgeConfig& config, const std::string& password,
              const std::atomic<bool>& stop, const std::function<void(const std::string&)>& log) {
    const std::string statusTopic = Topic(config.prefix, config.station, "status");
    Control control(config.prefix, config.station, ListIds(config.dout, 0, 15));

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
    po.willTopic = statusTopic;
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
    Publisher publisher(po);
    std::string error;
    if (!publisher.Start(error)) {
        log(error);
        return 1;
    }

    protocol::AcqRequest connect{};
    protocol::BuildConnectRequest(PeerSpecOf(config), connect, error);
    const std::string peerName = protocol::TrimmedPeerName(PeerSpecOf(config).name);
    protocol::PeerSender sender;
    Sampler sampler(config);
    auto block = std::make_unique<protocol::BlockClient>();
    bool attached = false;
    auto copy = std::make_unique<protocol::SharedBlock>();
    std::vector<OutMessage> out;

    const auto interval = std::chrono::milliseconds(config.intervalMs);
    auto now = Clock::now();
    auto nextTick = now;
    auto nextConnect = now;
    auto nextServerCheck = now;
    auto nextStatus = now;
    auto rateStart = now;
    uint64_t rateSamples = 0;
    uint64_t rateSent = 0;
    StatusInfo info;
    long serverPid = -1;  // -1: not looked yet, 0: none
    bool blockWarned = false;

    while (!stop.load()) {
        now = Clock::now();
        if (now >= nextServerCheck) {
            nextServerCheck = now + kServerCheckEvery;
            auto server = RunningServer();
            const long pid = server ? server->pid : 0;
            if (pid != serverPid || info.server != server) nextStatus = now;
            if (pid != serverPid) {
                if (serverPid >= 0) {
                    log(pid != 0 ? "server " + std::to_string(pid) + " is running"
                                 : "the server has ended");
                }
                if (pid != 0) {
                    // A new server: attach afresh (the block may be a new
                    // object) and announce ourselves at once.
                    block = std::make_unique<protocol::BlockClient>();
                    attached = false;
                    nextConnect = now;
                    if (serverPid > 0) sampler.Resync();
                }
                serverPid = pid;
            }
            info.server = server;
        }
        if (now >= nextConnect) {
            nextConnect = now + kConnectEvery;
            sender.Send(connect);
        }
        if (!attached) {
            const auto st = block->Attach();
            attached = st == protocol::BlockClient::Status::Attached;
            if (!attached && !blockWarned) {
                log("no shared data block yet (" + block->Error() + "); waiting for the server");
                blockWarned = true;
            }
            if (attached && blockWarned) log("attached to the shared data block");
            if (attached) blockWarned = false;
        }
        if (attached) {
            if (block->Read(*copy)) {
                sampler.Collect(*copy, UnixSeconds(), out);
                publisher.Enqueue(out);
            } else {
                log("cannot read the shared data block: " + block->Error());
            }
            for (const std::string& line : control.Apply(*block)) log(line);
        }
        if (now >= nextStatus) {
            nextStatus = now + kStatusEvery;
            const PublisherStats stats = publisher.Stats();
            const double seconds = std::chrono::duration<double>(now - rateStart).count();
            if (seconds > 0.5) {
                info.samplesPerS =
                    static_cast<double>(sampler.SamplesTaken() - rateSamples) / seconds;
                info.messagesPerS = static_cast<double>(stats.sent - rateSent) / seconds;
                rateStart = now;
                rateSamples = sampler.SamplesTaken();
                rateSent = stats.sent;
            }
            info.dropped = stats.dropped;
            out.push_back({statusTopic, StatusJson(config, true, info), 1, true});
            publisher.Enqueue(out);
        }
        nextTick += interval;
        now = Clock::now();
        if (nextTick < now) nextTick = now;  // fell behind: no burst to catch up
        std::this_thread::sleep_until(nextTick);
    }
    sender.Send(protocol::BuildDisconnectRequest(peerName));
    publisher.Stop({statusTopic, StatusJson(config, false, {}), 1, true});
    return 0;
}

}  // namespace vantor::mqtt

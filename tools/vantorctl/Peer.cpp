// vantorctl peer: the loop on the link and the optional view of the block.
#include "Peer.h"

#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>

#include "platform/Clock.h"
#include "platform/LoopbackUdp.h"
#include "platform/StopSignals.h"
#include "protocol/BlockClient.h"
#include "protocol/NegPacket.h"
#include "protocol/PeerSender.h"

namespace vantor::ctl {
namespace {

constexpr int kPollMs = 50;
constexpr int kShowEveryMs = 1000;

// The ports this peer listens on. The server's choice is not known in
// advance, so every free port of 9000-9021 is held until a PORT message
// naming this peer arrives; then only that one is kept.
class Listeners {
public:
    Listeners() {
        for (int p = protocol::kFirstPeerPort; p < protocol::kFirstPeerPort + protocol::kMaxPeers;
             ++p) {
            int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (fd >= 0 && platform::BindLoopback(fd, p)) {
                m_fds.push_back({fd, POLLIN, 0});
                m_ports.push_back(p);
            } else if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    ~Listeners() {
        for (pollfd& p : m_fds) ::close(p.fd);
    }
    Listeners(const Listeners&) = delete;
    Listeners& operator=(const Listeners&) = delete;

    bool Empty() const { return m_fds.empty(); }
    // Waits up to ms for a packet; its text and the port it came in on.
    bool Receive(int ms, std::string& text, int& port) {
        if (m_fds.empty()) {
            platform::SleepMs(static_cast<uint32_t>(ms));
            return false;
        }
        if (::poll(m_fds.data(), m_fds.size(), ms) <= 0) return false;
        for (size_t i = 0; i < m_fds.size(); ++i) {
            if ((m_fds[i].revents & POLLIN) == 0) continue;
            protocol::NegPacket packet{};
            if (::recv(m_fds[i].fd, &packet, sizeof packet, 0) <= 0) continue;
            text = protocol::RequestOf(packet).text;
            text = text.substr(0, ::strnlen(text.c_str(), protocol::kTextBytes));
            port = m_ports[i];
            return true;
        }
        return false;
    }
    void KeepOnly(int port) {
        for (size_t i = m_fds.size(); i-- > 0;) {
            if (m_ports[i] == port) continue;
            ::close(m_fds[i].fd);
            m_fds.erase(m_fds.begin() + static_cast<long>(i));
            m_ports.erase(m_ports.begin() + static_cast<long>(i));
        }
    }
    size_t Size() const { return m_fds.size(); }

private:
    std::vector<pollfd> m_fds;
    std::vector<int> m_ports;
};

// One line with the newest value of each listed channel.
std::string ValuesLine(const protocol::SharedBlock& b, const protocol::AcqRequest& r) {
    std::ostringstream s;
    s << "values:";
    for (int i = 0; i < r.analogCount; ++i) {
        const protocol::AnalogRing& ring = b.analogRing[r.analogIds[i]];
        float v = 0;
        s << " a" << r.analogIds[i] << "=";
        if (protocol::NewestSamples(ring, &v, 1) == 1) {
            s << v << "#" << ring.next;
        } else {
            s << "-";
        }
    }
    for (int i = 0; i < r.frequencyCount; ++i) {
        s << " f" << r.frequencyIds[i] << "=" << b.frequencySlot[r.frequencyIds[i] - 200].value;
    }
    for (int i = 0; i < r.counterCount; ++i) {
        s << " c" << r.counterIds[i] << "=" << b.counterValue[r.counterIds[i] - 300];
    }
    for (int i = 0; i < r.digitalInCount; ++i) {
        s << " din" << r.digitalInIds[i] << "=" << b.digitalIn[r.digitalInIds[i]];
    }
    for (int i = 0; i < r.digitalOutCount; ++i) {
        s << " dout" << r.digitalOutIds[i] << "=" << b.digitalOutRequest[r.digitalOutIds[i]];
    }
    return s.str() + "\n";
}

class Shower {
public:
    void Show(const protocol::AcqRequest& r, Console& console) {
        if (!m_attached) {
            m_attached = m_client.Attach() == protocol::BlockClient::Status::Attached;
            if (!m_attached) {
                if (!m_warned) console.err << "vantorctl peer: no shared data block yet\n";
                m_warned = true;
                return;
            }
        }
        if (!m_client.Read(*m_copy)) return;
        console.out << ValuesLine(*m_copy, r);
        console.out.flush();
    }

private:
    protocol::BlockClient m_client;
    std::unique_ptr<protocol::SharedBlock> m_copy = std::make_unique<protocol::SharedBlock>();
    bool m_attached = false;
    bool m_warned = false;
};

// True for a PORT message to the peer called name (compared as the server does).
bool PortMessageFor(const std::string& text, const std::string& name) {
    std::string who;
    int told = 0;
    return protocol::ParsePortText(text.c_str(), who, told) &&
           ::strcasecmp(who.c_str(), name.c_str()) == 0;
}

}  // namespace

int RunPeer(const PeerOptions& options, Console& console) {
    protocol::AcqRequest connect{};
    std::string error;
    if (!protocol::BuildConnectRequest(options.desc, connect, error)) {
        console.err << "vantorctl peer: " << error << "\n";
        return kExitUsage;
    }
    if (!(options.every >= 0.01 && options.every <= 3600) || !(options.duration >= 0)) {
        console.err << "vantorctl peer: --every must be 0.01..3600 s and --duration 0 or more\n";
        return kExitUsage;
    }
    const std::string name = protocol::TrimmedPeerName(options.desc.name);

    protocol::PeerSender sender;
    Listeners listeners;
    if (listeners.Empty()) {
        console.err << "vantorctl peer: ports 9000-9021 are all taken: PORT messages go unheard\n";
    }
    platform::ClearStop();
    platform::StopSignals signals(console.stopOnSignals);
    console.out << "peer " << name << ": CONNECT to 127.0.0.1:" << protocol::kNegServerPort
                << " every " << options.every << " s\n";
    console.out.flush();

    Shower shower;
    const uint64_t start = platform::MillisecondsSinceStart();
    const auto everyMs = static_cast<uint64_t>(std::llround(options.every * 1000));
    const auto endMs = static_cast<uint64_t>(std::llround(options.duration * 1000));
    uint64_t nextConnect = start;
    uint64_t nextShow = start + kShowEveryMs;
    bool portKnown = false;
    while (!platform::StopRequested()) {
        uint64_t now = platform::MillisecondsSinceStart();
        if (endMs > 0 && now - start >= endMs) break;
        if (now >= nextConnect) {
            if (!sender.Send(connect)) console.err << "vantorctl peer: CONNECT not sent\n";
            nextConnect = now + everyMs;
        }
        if (options.show && now >= nextShow) {
            shower.Show(connect, console);
            nextShow = now + kShowEveryMs;
        }
        std::string text;
        int port = 0;
        if (!listeners.Receive(kPollMs, text, port)) continue;
        if (!PortMessageFor(text, name)) {
            continue;  // another peer's message on a port held while listening widely
        }
        console.out << text << "\n";
        console.out.flush();
        if (!portKnown) listeners.KeepOnly(port);
        portKnown = true;
    }
    bool sent = sender.Send(protocol::BuildDisconnectRequest(name));
    console.out << (sent ? "DISCONNECT sent\n" : "DISCONNECT could not be sent\n");
    return sent ? kExitOk : kExitFailure;
}

}  // namespace vantor::ctl

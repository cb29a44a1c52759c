#include "PeerChurn.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/LoopbackUdp.h"
#include "protocol/NegPacket.h"
#include "protocol/PeerRequest.h"
#include "protocol/PeerSender.h"

namespace vantor::soak {
namespace {

using namespace std::chrono_literals;

// A live peer repeats its CONNECT this often: well inside the server's 21 s,
// and often enough that one lost to a full socket is soon made good.
constexpr auto kRepeat = 1s;
constexpr auto kTick = 20ms;
constexpr int kMetronome = kChurningPeers;  // its index among the peers
constexpr int kWarm = kChurningPeers + 1;

// Samples per cycle of a channel, whoever asks for it: the server keeps the
// samples of the first peer that asked, and a cycle's work stays the same
// whichever peers are connected.
int SamplesOf(int channel) {
    return 1 + channel % 3;
}

enum class PeerState { Off, Connected, Silent };

struct Peer {
    std::string name;
    PeerState state = PeerState::Off;
    std::string analog;  // "5:2,9:1" as sent
    std::vector<int> channels;
    Clock::time_point nextSend;
    Clock::time_point nextChange;
    std::unique_ptr<protocol::PeerSender> sender;
};

bool SendConnect(Peer& p) {
    // Digital lines too, so the server's request carries every kind of list.
    const protocol::PeerDescription d{p.name, "127.0.0.1", "vantor-soak", p.analog,
                                      "",     "",          "0,3",         "1"};
    protocol::AcqRequest request{};
    std::string error;
    return protocol::BuildConnectRequest(d, request, error) && p.sender->Send(request);
}

// 1..4 channels of 4..14, each at 1..3 samples per cycle: few enough that a
// look every few milliseconds always sees a ring move without wrapping.
void NewList(Peer& p, std::mt19937& rng) {
    std::vector<int> all;
    for (int ch = kFirstPeerChannel; ch <= kLastPeerChannel; ++ch) all.push_back(ch);
    std::shuffle(all.begin(), all.end(), rng);
    const int n = 1 + static_cast<int>(rng() % 4);
    p.channels.assign(all.begin(), all.begin() + n);
    p.analog.clear();
    for (int ch : p.channels) {
        if (!p.analog.empty()) p.analog += ",";
        p.analog += std::to_string(ch) + ":" + std::to_string(SamplesOf(ch));
    }
}

Clock::duration Between(std::mt19937& rng, int minMs, int maxMs) {
    return std::chrono::milliseconds(minMs + static_cast<int>(rng() % (maxMs - minMs + 1)));
}

}  // namespace

void PeerChurn::Start() {
    m_thread = std::thread([this] { Run(); });
    m_receiver = std::thread([this] { ReceivePorts(); });
}

void PeerChurn::Stop() {
    m_stop.store(true);
    if (m_thread.joinable()) m_thread.join();
    if (m_receiver.joinable()) m_receiver.join();
}

void PeerChurn::Run() {
    std::mt19937 rng(m_seed);
    std::vector<Peer> peers(kChurningPeers + 2);
    const auto start = Clock::now();
    for (size_t i = 0; i < peers.size(); ++i) {
        Peer& p = peers[i];
        p.name = "soak-peer-" + std::to_string(i);
        p.sender = std::make_unique<protocol::PeerSender>();
        p.nextChange = start + Between(rng, 0, 2000);
    }
    Peer& metronome = peers[kMetronome];
    metronome.name = "soak-metronome";
    metronome.analog = "15:1";
    metronome.state = PeerState::Connected;
    metronome.nextSend = start;
    // While the peers do not churn, one peer asks for every channel the load
    // will (the clients' 0..3 at the server's default), so the quiet cycle
    // rate is measured on the same work per cycle as the loaded one.
    Peer& warm = peers[kWarm];
    warm.name = "soak-warm";
    for (int ch = kFirstClientChannel; ch < kFirstClientChannel + kClientChannels; ++ch) {
        warm.analog += std::to_string(ch) + ",";
    }
    for (int ch = kFirstPeerChannel; ch <= kLastPeerChannel; ++ch) {
        warm.analog += std::to_string(ch) + ":" + std::to_string(SamplesOf(ch)) +
                       (ch < kLastPeerChannel ? "," : "");
    }

    while (!m_stop.load()) {
        const auto now = Clock::now();
        for (size_t i = 0; i < peers.size(); ++i) {
            Peer& p = peers[i];
            const int index = static_cast<int>(i);
            const bool churn = m_churn.load();
            const bool quietPeer = index == kWarm ? churn : index < kChurningPeers && !churn;
            if (quietPeer && p.state != PeerState::Off) {
                m_state.Require(index, {});
                p.sender->Send(protocol::BuildDisconnectRequest(p.name));
                p.state = PeerState::Off;
            } else if (index == kWarm && !churn && p.state == PeerState::Off) {
                p.state = PeerState::Connected;
                p.nextSend = now;
            }
            if (index < kChurningPeers && churn && now >= p.nextChange) {
                const auto roll = rng() % 100;
                if (p.state != PeerState::Connected) {
                    NewList(p, rng);
                    p.state = PeerState::Connected;
                    p.nextSend = now;
                    m_state.Require(index, p.channels);
                } else if (roll < 40) {
                    NewList(p, rng);
                    p.nextSend = now;
                    m_state.counts.listChanges.fetch_add(1);
                    m_state.Require(index, p.channels);
                } else if (roll < 75) {
                    // It no longer counts on its channels from the moment it leaves.
                    m_state.Require(index, {});
                    p.sender->Send(protocol::BuildDisconnectRequest(p.name));
                    m_state.counts.disconnects.fetch_add(1);
                    p.state = PeerState::Off;
                } else {
                    // Silent: the server drops it 21 s after its last CONNECT.
                    m_state.Require(index, {});
                    m_state.counts.silences.fetch_add(1);
                    p.state = PeerState::Silent;
                }
                p.nextChange = now + (p.state == PeerState::Connected ? Between(rng, 2000, 15000)
                                      : p.state == PeerState::Off     ? Between(rng, 500, 5000)
                                                                      : Between(rng, 5000, 30000));
            }
            if (p.state == PeerState::Connected && now >= p.nextSend) {
                if (SendConnect(p)) m_state.counts.connects.fetch_add(1);
                p.nextSend = now + kRepeat;
            }
        }
        std::this_thread::sleep_for(kTick);
    }
    for (size_t i = 0; i < peers.size(); ++i) {
        m_state.Require(static_cast<int>(i), {});
        if (peers[i].state == PeerState::Connected) {
            peers[i].sender->Send(protocol::BuildDisconnectRequest(peers[i].name));
        }
    }
}

void PeerChurn::ReceivePorts() {
    std::vector<pollfd> fds;
    for (int port = protocol::kFirstPeerPort; port < protocol::kFirstPeerPort + protocol::kMaxPeers;
         ++port) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd >= 0 && platform::BindLoopback(fd, port)) {
            fds.push_back({fd, POLLIN, 0});
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    protocol::NegPacket packet{};
    while (!m_stop.load()) {
        if (::poll(fds.data(), fds.size(), 100) <= 0) continue;
        for (pollfd& p : fds) {
            if ((p.revents & POLLIN) == 0) continue;
            while (::recv(p.fd, &packet, sizeof packet, 0) > 0) {
                const protocol::AcqRequest request = protocol::RequestOf(packet);
                char text[protocol::kTextBytes + 1] = {};
                std::copy_n(request.text, protocol::kTextBytes, text);
                std::string name;
                int port = 0;
                if (protocol::ParsePortText(text, name, port)) {
                    m_state.counts.portMessages.fetch_add(1);
                }
            }
        }
    }
    for (pollfd& p : fds) ::close(p.fd);
}

}  // namespace vantor::soak

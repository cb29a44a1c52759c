#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Load.h"
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
    std::vector<int> channels;
    Clock::time_point nextSend;
    Clock::time_point nextChange;
    std::unique_ptr<protocol::PeerSender> sender;
};

// Channels from `first` to `last`.
std::vector<int> Range(int first, int last) {
    std::vector<int> all(static_cast<size_t>(last - first + 1));
    std::iota(all.begin(), all.end(), first);
    return all;
}

bool SendConnect(Peer& p) {
    // "4:2,9:1": the clients' channels at the server's default, the others at SamplesOf.
    std::string analog;
    for (int ch : p.channels) {
        if (!analog.empty()) analog += ",";
        analog += std::to_string(ch);
        if (ch >= kClientChannels) analog.append(":").append(std::to_string(SamplesOf(ch)));
    }
    // Digital lines too, so the server's request carries every kind of list.
    const protocol::PeerDescription d{p.name, "127.0.0.1", "vantor-soak", analog,
                                      "",     "",          "0,3",         "1"};
    protocol::AcqRequest request{};
    std::string error;
    return protocol::BuildConnectRequest(d, request, error) && p.sender->Send(request);
}

// 1..4 channels of 4..14, each at 1..3 samples per cycle: few enough that a
// look every few milliseconds always sees a ring move without wrapping.
void NewList(Peer& p, std::mt19937& rng) {
    p.channels = Range(kFirstPeerChannel, kLastPeerChannel);
    std::shuffle(p.channels.begin(), p.channels.end(), rng);
    p.channels.resize(1 + rng() % 4);
}

Clock::duration Between(std::mt19937& rng, int minMs, int maxMs) {
    return std::chrono::milliseconds(minMs + static_cast<int>(rng() % (maxMs - minMs + 1)));
}

}  // namespace

void RunPeers(const std::stop_token& stop, SoakState& state, const std::atomic<bool>& churning,
              uint32_t seed) {
    std::mt19937 rng(seed);
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
    metronome.channels = {kMetronomeChannel};
    metronome.state = PeerState::Connected;
    metronome.nextSend = start;
    // While the peers do not churn, one peer asks for every channel the load
    // will (the clients' 0..3 at the server's default), so the quiet cycle
    // rate is measured on the same work per cycle as the loaded one.
    peers[kWarm].name = "soak-warm";
    peers[kWarm].channels = Range(0, kLastPeerChannel);

    // It no longer counts on its channels from the moment it leaves; a silent
    // peer is dropped by the server 21 s after its last CONNECT.
    auto leave = [&](size_t i, PeerState next) {
        state.Require(static_cast<int>(i), {});
        if (next == PeerState::Off && peers[i].state != PeerState::Off) {
            peers[i].sender->Send(protocol::BuildDisconnectRequest(peers[i].name));
        }
        peers[i].state = next;
    };
    while (!stop.stop_requested()) {
        const auto now = Clock::now();
        const bool churn = churning.load();
        for (size_t i = 0; i < peers.size(); ++i) {
            Peer& p = peers[i];
            const int index = static_cast<int>(i);
            const bool quietPeer = index == kWarm ? churn : index < kChurningPeers && !churn;
            if (quietPeer && p.state != PeerState::Off) {
                leave(i, PeerState::Off);
            } else if (index == kWarm && !churn && p.state == PeerState::Off) {
                p.state = PeerState::Connected;
                p.nextSend = now;
            }
            if (index < kChurningPeers && churn && now >= p.nextChange) {
                const auto roll = rng() % 100;
                if (p.state != PeerState::Connected || roll < 40) {
                    if (p.state == PeerState::Connected) state.counts.listChanges.fetch_add(1);
                    NewList(p, rng);
                    p.state = PeerState::Connected;
                    p.nextSend = now;
                    state.Require(index, p.channels);
                } else if (roll < 75) {
                    leave(i, PeerState::Off);
                    state.counts.disconnects.fetch_add(1);
                } else {
                    leave(i, PeerState::Silent);
                    state.counts.silences.fetch_add(1);
                }
                p.nextChange = now + (p.state == PeerState::Connected ? Between(rng, 2000, 15000)
                                      : p.state == PeerState::Off     ? Between(rng, 500, 5000)
                                                                      : Between(rng, 5000, 30000));
            }
            if (p.state == PeerState::Connected && now >= p.nextSend) {
                if (SendConnect(p)) state.counts.connects.fetch_add(1);
                p.nextSend = now + kRepeat;
            }
        }
        std::this_thread::sleep_for(kTick);
    }
    for (size_t i = 0; i < peers.size(); ++i) leave(i, PeerState::Off);
}

void ReceivePorts(const std::stop_token& stop, SoakState& state) {
    std::vector<pollfd> fds;
    for (int port = protocol::kFirstPeerPort; port < protocol::kFirstPeerPort + protocol::kMaxPeers;
         ++port) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd >= 0 && platform::BindLoopback(fd, port))
            fds.push_back({fd, POLLIN, 0});
        else if (fd >= 0)
            ::close(fd);
    }
    protocol::NegPacket packet{};
    while (!stop.stop_requested()) {
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
                    state.counts.portMessages.fetch_add(1);
                }
            }
        }
    }
    for (pollfd& p : fds) ::close(p.fd);
}

}  // namespace vantor::soak

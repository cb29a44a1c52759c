#pragma once
// The peers of a soak phase, on the link's real ports: the metronome peer
// (always connected, channel 15 at one sample per cycle) from Start on, and
// from StartChurn on 22 peers that connect with changing channel lists,
// disconnect and fall silent. A receiver on 9000-9021 takes the server's
// PORT messages.
#include <cstdint>
#include <thread>

#include "SoakState.h"

namespace vantor::soak {

inline constexpr int kChurningPeers = 22;

class PeerChurn {
public:
    PeerChurn(SoakState& state, uint32_t seed) : m_state(state), m_seed(seed) {}
    ~PeerChurn() { Stop(); }
    PeerChurn(const PeerChurn&) = delete;
    PeerChurn& operator=(const PeerChurn&) = delete;

    void Start();
    // The churning peers leave again at StopChurn.
    void StartChurn() { m_churn.store(true); }
    void StopChurn() { m_churn.store(false); }
    // Every peer still connected says DISCONNECT.
    void Stop();

private:
    void Run();
    void ReceivePorts();

    SoakState& m_state;
    uint32_t m_seed;
    std::atomic<bool> m_churn{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::thread m_receiver;
};

}  // namespace vantor::soak

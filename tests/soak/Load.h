#pragma once
// The load of a soak phase besides the peers: garbage datagrams on the
// link's port, readers copying the whole block as fast as they can, and
// programs of the client library calling every data call.
#include <thread>
#include <vector>

#include "SoakState.h"

namespace vantor::soak {

struct LoadShape {
    int datagramsPerSecond = 10000;
    int readers = 4;
    int clients = 4;
};

class Load {
public:
    Load(SoakState& state, const LoadShape& shape, uint32_t seed)
        : m_state(state), m_shape(shape), m_seed(seed) {}
    ~Load() { Stop(); }
    Load(const Load&) = delete;
    Load& operator=(const Load&) = delete;

    void Start();
    void Stop();

private:
    void SendGarbage();
    void ReadBlock();
    void CallClient(int index);

    SoakState& m_state;
    LoadShape m_shape;
    uint32_t m_seed;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

}  // namespace vantor::soak

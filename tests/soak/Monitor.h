#pragma once
// Looks at the block every few milliseconds while a soak phase runs, and
// checks what a reader must be able to count on:
// - ring 15 (the metronome: one sample per cycle) counts the server's
//   cycles, so the cycle rate of a quiet and of a loaded server can be told;
// - every channel a live peer has required for a while moves whenever the
//   server cycles, and never so far between two looks that its ring wrapped;
// - on the simulated board, an input follows the output vantorctl set.
#include <array>
#include <atomic>
#include <cstdint>
#include <stop_token>
#include <thread>

#include "SoakState.h"

namespace vantor::soak {

struct RateFigures {
    uint64_t cycles = 0;
    double seconds = 0;
    double minWindow = 0;  // the slowest 5 s window (loaded only)
    double Rate() const { return seconds > 0 ? static_cast<double>(cycles) / seconds : 0; }
};

class Monitor {
public:
    // What the cycles counted now go to: an index of `rates`.
    enum Measure { kNone, kIdle, kLoaded, kIdleAfter };

    // Starts looking at once.
    Monitor(SoakState& state, bool loopback)
        : m_state(state),
          m_loopback(loopback),
          m_thread([this](const std::stop_token& s) { Run(s); }) {}
    void Stop() {
        m_thread.request_stop();
        if (m_thread.joinable()) m_thread.join();
    }

    std::atomic<int> measure{kNone};
    std::atomic<uint64_t> metronome{0};  // cycles counted so far
    // Read after Stop.
    std::array<RateFigures, 4> rates{};
    uint64_t lateLooks = 0;
    double longestGapMs = 0;

private:
    void Run(const std::stop_token& stop);

    SoakState& m_state;
    bool m_loopback;
    std::jthread m_thread;  // last: it starts when everything else is set
};

}  // namespace vantor::soak

#pragma once
// Looks at the block every few milliseconds while a soak phase runs, and
// checks what a reader must be able to count on:
// - ring 15 (the metronome: one sample per cycle) counts the server's
//   cycles, so the cycle rate of a quiet and of a loaded server can be told;
// - every channel a live peer has required for a while moves whenever the
//   server cycles, and never so far between two looks that its ring wrapped;
// - on the simulated board, an input follows the output vantorctl set.
#include <atomic>
#include <cstdint>
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
    enum class Measure { None, Idle, Loaded, IdleAfter };

    Monitor(SoakState& state, bool loopback) : m_state(state), m_loopback(loopback) {}
    ~Monitor() { Stop(); }
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    void Start();
    void Stop();
    void SetMeasure(Measure m) { m_measure.store(m); }
    // Cycles counted on the metronome so far.
    uint64_t MetronomeCycles() const { return m_metronome.load(); }
    // Read after Stop.
    const RateFigures& Idle() const { return m_idle; }
    const RateFigures& IdleAfter() const { return m_idleAfter; }
    const RateFigures& Loaded() const { return m_loaded; }
    uint64_t LateLooks() const { return m_lateLooks; }
    double LongestGapMs() const { return m_longestGapMs; }

private:
    void Run();

    SoakState& m_state;
    bool m_loopback;
    std::atomic<bool> m_stop{false};
    std::atomic<Measure> m_measure{Measure::None};
    std::atomic<uint64_t> m_metronome{0};
    RateFigures m_idle;
    RateFigures m_idleAfter;
    RateFigures m_loaded;
    uint64_t m_lateLooks = 0;
    double m_longestGapMs = 0;
    std::thread m_thread;
};

}  // namespace vantor::soak

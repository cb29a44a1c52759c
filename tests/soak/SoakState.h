#pragma once
// What the load generators and the monitor of one soak phase share: the
// clock, the counts of the load, the channels the live peers require, the
// digital outputs vantorctl set, and the violations found. Counters are
// atomics; the lists are guarded by their own mutex.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vantor::soak {

using Clock = std::chrono::steady_clock;

inline double SecondsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Analog channels by user: the client library reads 0..3 (a channel it reads
// stays sampled while the server runs), the churning peers share 4..14 and
// the metronome peer alone asks for 15 at one sample per cycle, so ring 15
// counts the server's cycles.
inline constexpr int kClientChannels = 4;
inline constexpr int kFirstPeerChannel = 4;
inline constexpr int kLastPeerChannel = 14;
inline constexpr int kMetronomeChannel = 15;
// Digital outputs: vantorctl set-output drives 0..7, the clients 8..15.
inline constexpr int kCtlOutputLines = 8;

struct LoadCounts {
    std::atomic<uint64_t> connects{0}, disconnects{0}, silences{0}, listChanges{0}, portMessages{0},
        datagrams{0}, readerCopies{0}, clientCalls{0}, ctlRuns{0}, modeSwitches{0}, looks{0};
};

// An output line vantorctl set, waiting for its input to follow.
struct OutputExpectation {
    int line = 0;
    int level = 0;
    Clock::time_point set;
};

class SoakState {
public:
    explicit SoakState(std::string phase) : m_phase(std::move(phase)) {}

    LoadCounts counts;

    // While set, the server is between modes: rings may stand still and the
    // link is closed, so the monitor pauses its checks and looks afresh after.
    std::atomic<bool> paused{false};
    std::atomic<uint64_t> pauseEpoch{0};
    void Pause() {
        paused.store(true);
        pauseEpoch.fetch_add(1);
    }
    void Resume() { paused.store(false); }

    // Records a violation: counted, and the first ones printed.
    void Violation(const std::string& text);
    uint64_t Violations() const { return m_violations.load(); }

    // Replaces peer `peer`'s required channels (empty: it requires none).
    void Require(int peer, const std::vector<int>& channels);
    // Every required channel, with the earliest time some peer required it
    // without a break.
    std::map<int, Clock::time_point> Required() const;

    // A newer setting of a line replaces the one still waiting.
    void ExpectOutput(int line, int level);
    // Drops the expectations `settled` says are met or violated.
    void SettleOutputs(const std::function<bool(const OutputExpectation&)>& settled);

private:
    std::string m_phase;
    std::atomic<uint64_t> m_violations{0};
    mutable std::mutex m_mutex;
    std::vector<std::map<int, Clock::time_point>> m_required;  // by peer: channel, since
    std::vector<OutputExpectation> m_outputs;
};

}  // namespace vantor::soak

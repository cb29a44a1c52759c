#include "Monitor.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "protocol/BlockClient.h"

namespace vantor::soak {
namespace {

using namespace std::chrono_literals;

constexpr auto kLookEvery = 4ms;
// A newly required channel joins the server's request at once, unless its
// CONNECT was lost on a flooded link: the peer repeats it every second, and
// the server rebuilds its request every 5 s.
constexpr auto kJoinGrace = 10s;
// Cycles a required channel may stand still: none, but the metronome and the
// channel are published together, so anything above 0 means a stall.
constexpr uint64_t kStallCycles = 3;
// The peers ask for at most 3 samples per cycle: this many cycles between two
// looks and a ring of theirs may have wrapped unseen.
constexpr uint64_t kWrapCycles = protocol::kRingSlots / 3;
constexpr double kWindowSeconds = 5;

int Next(const protocol::SharedBlock& b, int channel) {
    return static_cast<int>(static_cast<uint32_t>(b.analogRing[channel].next) %
                            protocol::kRingSlots);
}
uint64_t Moved(const protocol::SharedBlock& now, const protocol::SharedBlock& before, int channel) {
    return static_cast<uint64_t>(
        (Next(now, channel) - Next(before, channel) + protocol::kRingSlots) % protocol::kRingSlots);
}

}  // namespace

void Monitor::Start() {
    m_thread = std::thread([this] { Run(); });
}

void Monitor::Stop() {
    m_stop.store(true);
    if (m_thread.joinable()) m_thread.join();
}

void Monitor::Run() {
    // Ahead of the load it watches, where the system lets it (best effort).
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -10);
    protocol::BlockClient client;
    if (client.Attach() != protocol::BlockClient::Status::Attached) {
        m_state.Violation("the monitor cannot attach to the block: " + client.Error());
        return;
    }
    auto now = std::make_unique<protocol::SharedBlock>();
    auto before = std::make_unique<protocol::SharedBlock>();
    bool haveBefore = false;
    bool awaitMetronome = true;
    uint64_t epoch = m_state.pauseEpoch.load();
    Clock::time_point beforeAt;
    Clock::time_point checkedFrom = Clock::now();
    std::array<bool, protocol::kAnalogChannels> stalled{};
    RateFigures window;
    double refRate = 0;

    while (!m_stop.load()) {
        std::this_thread::sleep_for(kLookEvery);
        if (!client.Read(*now)) {
            m_state.Violation("the monitor could not copy the block: " + client.Error());
            continue;
        }
        const auto at = Clock::now();
        m_state.counts.looks.fetch_add(1, std::memory_order_relaxed);
        // Between modes (or a switch since the last look) nothing is owed.
        if (m_state.paused.load() || m_state.pauseEpoch.load() != epoch) {
            epoch = m_state.pauseEpoch.load();
            haveBefore = false;
            awaitMetronome = true;
            continue;
        }
        if (!haveBefore) {
            std::swap(now, before);
            beforeAt = at;
            haveBefore = true;
            continue;
        }
        const uint64_t cycles = Moved(*now, *before, kMetronomeChannel);
        const double dt = SecondsBetween(beforeAt, at);
        if (awaitMetronome) {
            // Counted and checked from the server's first cycle with the metronome.
            if (cycles > 0) {
                awaitMetronome = false;
                checkedFrom = at;
            }
            std::swap(now, before);
            beforeAt = at;
            continue;
        }
        m_metronome.fetch_add(cycles);
        m_longestGapMs = std::max(m_longestGapMs, dt * 1000);
        const bool late = cycles >= kWrapCycles ||
                          dt * (refRate > 0 ? refRate : 2000.0) >= static_cast<double>(kWrapCycles);
        if (late) {
            // Not the server's fault: this look came too late to tell.
            ++m_lateLooks;
        } else {
            const Measure measure = m_measure.load();
            if (measure == Measure::Idle) {
                m_idle.cycles += cycles;
                m_idle.seconds += dt;
                refRate = m_idle.Rate();
            } else if (measure == Measure::IdleAfter) {
                m_idleAfter.cycles += cycles;
                m_idleAfter.seconds += dt;
            } else if (measure == Measure::Loaded) {
                m_loaded.cycles += cycles;
                m_loaded.seconds += dt;
                window.cycles += cycles;
                window.seconds += dt;
                if (window.seconds >= kWindowSeconds) {
                    if (m_loaded.minWindow == 0 || window.Rate() < m_loaded.minWindow) {
                        m_loaded.minWindow = window.Rate();
                    }
                    window = {};
                }
            }
            for (const Requirement& r : m_state.Required()) {
                if (std::max(r.since, checkedFrom) + kJoinGrace > at) continue;
                const auto ch = static_cast<size_t>(r.channel);
                const bool still = Moved(*now, *before, r.channel) == 0;
                if (still && cycles >= kStallCycles && !stalled[ch]) {
                    m_state.Violation("channel " + std::to_string(r.channel) +
                                      " of a live peer stood still for " + std::to_string(cycles) +
                                      " cycles");
                }
                stalled[ch] = still && (stalled[ch] || cycles >= kStallCycles);
            }
        }
        if (m_loopback) {
            std::vector<OutputExpectation> waiting;
            for (const OutputExpectation& e : m_state.TakeOutputs()) {
                if (now->digitalIn[e.line] == e.level) continue;
                if (at - e.set > 5s) {
                    m_state.Violation("input " + std::to_string(e.line) +
                                      " did not follow output " + std::to_string(e.line) + " to " +
                                      std::to_string(e.level) + " within 5 s");
                } else {
                    waiting.push_back(e);
                }
            }
            m_state.KeepOutputs(waiting);
        }
        std::swap(now, before);
        beforeAt = at;
    }
}

}  // namespace vantor::soak

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

void Monitor::Run(const std::stop_token& stop) {
    // Ahead of the load it watches, where the system lets it (best effort).
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -10);
    protocol::BlockClient client;
    if (client.Attach() != protocol::BlockClient::Status::Attached) {
        m_state.Violation("the monitor cannot attach to the block: " + client.Error());
        return;
    }
    auto now = std::make_unique<protocol::SharedBlock>();
    auto before = std::make_unique<protocol::SharedBlock>();
    // 0: no look to compare with; 1: waiting for the metronome's first cycle,
    // from which on it counts and checks; 2: checking.
    int stage = 0;
    uint64_t epoch = m_state.pauseEpoch.load();
    Clock::time_point beforeAt;
    Clock::time_point checkedFrom = Clock::now();
    std::array<bool, protocol::kAnalogChannels> stalled{};
    RateFigures window;
    double refRate = 0;

    while (!stop.stop_requested()) {
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
            stage = 0;
            continue;
        }
        const uint64_t cycles = Moved(*now, *before, kMetronomeChannel);
        const double dt = SecondsBetween(beforeAt, at);
        if (stage < 2) {
            if (stage == 1 && cycles > 0) checkedFrom = at;
            if (stage == 0 || cycles > 0) ++stage;
            std::swap(now, before);
            beforeAt = at;
            continue;
        }
        metronome.fetch_add(cycles);
        longestGapMs = std::max(longestGapMs, dt * 1000);
        const bool late = cycles >= kWrapCycles ||
                          dt * (refRate > 0 ? refRate : 2000.0) >= static_cast<double>(kWrapCycles);
        if (late) {
            // Not the server's fault: this look came too late to tell.
            ++lateLooks;
        } else {
            const int current = measure.load();
            RateFigures& into = rates[static_cast<size_t>(current)];
            into.cycles += cycles;
            into.seconds += dt;
            if (current == kIdle) refRate = into.Rate();
            if (current == kLoaded) {
                window.cycles += cycles;
                window.seconds += dt;
                if (window.seconds >= kWindowSeconds) {
                    if (into.minWindow == 0 || window.Rate() < into.minWindow) {
                        into.minWindow = window.Rate();
                    }
                    window = {};
                }
            }
            for (const auto& [channel, since] : m_state.Required()) {
                if (std::max(since, checkedFrom) + kJoinGrace > at) continue;
                const auto ch = static_cast<size_t>(channel);
                const bool still = Moved(*now, *before, channel) == 0;
                if (still && cycles >= kStallCycles && !stalled[ch]) {
                    m_state.Violation("channel " + std::to_string(channel) +
                                      " of a live peer stood still for " + std::to_string(cycles) +
                                      " cycles");
                }
                stalled[ch] = still && (stalled[ch] || cycles >= kStallCycles);
            }
        }
        if (m_loopback) {
            m_state.SettleOutputs([&](const OutputExpectation& e) {
                if (now->digitalIn[e.line] == e.level) return true;
                if (at - e.set <= 5s) return false;
                m_state.Violation("input " + std::to_string(e.line) + " did not follow output " +
                                  std::to_string(e.line) + " to " + std::to_string(e.level) +
                                  " within 5 s");
                return true;
            });
        }
        std::swap(now, before);
        beforeAt = at;
    }
}

}  // namespace vantor::soak

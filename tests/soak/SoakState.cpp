#include "SoakState.h"

#include <algorithm>
#include <cstdio>

namespace vantor::soak {

namespace {
// Enough to see what went wrong without drowning a long run's log.
constexpr uint64_t kPrintedViolations = 40;
}  // namespace

void SoakState::Violation(const std::string& text) {
    const uint64_t n = m_violations.fetch_add(1) + 1;
    if (n <= kPrintedViolations) {
        std::fprintf(stderr, "soak %s: VIOLATION %llu: %s\n", m_phase.c_str(),
                     static_cast<unsigned long long>(n), text.c_str());
    } else if (n == kPrintedViolations + 1) {
        std::fprintf(stderr, "soak %s: further violations are only counted\n", m_phase.c_str());
    }
}

void SoakState::Require(int peer, const std::vector<int>& channels) {
    std::lock_guard lock(m_mutex);
    if (static_cast<size_t>(peer) >= m_required.size()) m_required.resize(peer + 1);
    auto& mine = m_required[static_cast<size_t>(peer)];
    std::map<int, Clock::time_point> next;
    // A channel the peer keeps keeps its start: a refresh is no new request.
    for (int ch : channels) next[ch] = mine.contains(ch) ? mine[ch] : Clock::now();
    mine = std::move(next);
}

std::map<int, Clock::time_point> SoakState::Required() const {
    std::lock_guard lock(m_mutex);
    std::map<int, Clock::time_point> all;
    for (const auto& peer : m_required) {
        for (const auto& [channel, since] : peer) {
            auto [it, fresh] = all.try_emplace(channel, since);
            if (!fresh) it->second = std::min(it->second, since);
        }
    }
    return all;
}

void SoakState::ExpectOutput(int line, int level) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_outputs, [line](const OutputExpectation& e) { return e.line == line; });
    m_outputs.push_back({line, level, Clock::now()});
}

void SoakState::SettleOutputs(const std::function<bool(const OutputExpectation&)>& settled) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_outputs, settled);
}

}  // namespace vantor::soak

#include "SoakState.h"

#include <algorithm>
#include <cstdio>
#include <utility>

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
    std::vector<Requirement> next;
    const auto now = Clock::now();
    for (int ch : channels) {
        // A channel the peer keeps keeps its start: a refresh is no new request.
        auto kept = std::find_if(mine.begin(), mine.end(),
                                 [ch](const Requirement& r) { return r.channel == ch; });
        next.push_back(kept != mine.end() ? *kept : Requirement{ch, now});
    }
    mine = std::move(next);
}

std::vector<Requirement> SoakState::Required() const {
    std::lock_guard lock(m_mutex);
    std::vector<Requirement> all;
    for (const auto& peer : m_required) {
        for (const Requirement& r : peer) {
            auto same = std::find_if(all.begin(), all.end(),
                                     [&r](const Requirement& a) { return a.channel == r.channel; });
            if (same == all.end()) {
                all.push_back(r);
            } else if (r.since < same->since) {
                same->since = r.since;
            }
        }
    }
    return all;
}

void SoakState::ExpectOutput(int line, int level) {
    std::lock_guard lock(m_mutex);
    // A newer setting of the line replaces the one still waiting.
    std::erase_if(m_outputs, [line](const OutputExpectation& e) { return e.line == line; });
    m_outputs.push_back({line, level, Clock::now()});
}

std::vector<OutputExpectation> SoakState::TakeOutputs() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_outputs, {});
}

void SoakState::KeepOutputs(const std::vector<OutputExpectation>& pending) {
    std::lock_guard lock(m_mutex);
    for (const OutputExpectation& e : pending) {
        // Unless vantorctl set the line anew meanwhile.
        if (std::none_of(m_outputs.begin(), m_outputs.end(),
                         [&e](const OutputExpectation& o) { return o.line == e.line; })) {
            m_outputs.push_back(e);
        }
    }
}

}  // namespace vantor::soak

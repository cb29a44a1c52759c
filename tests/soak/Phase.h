#pragma once
// One soak phase: the real server on the simulated board or on the card
// vantor-boardsim serves, its quiet cycle rate, then the full load for the
// rest of the phase while the monitor checks, a clean SIGTERM at the end,
// and one summary line per figure.
#include <atomic>
#include <cstdint>
#include <string>

#include "Load.h"

namespace vantor::soak {

struct PhaseOptions {
    bool card = false;  // false: the simulated board
    double seconds = 30;
    std::string workDir;  // logs of the server, boardsim and vantorctl
    uint32_t seed = 1;
    double tolerancePercent = 5;
    LoadShape shape;
    const std::atomic<bool>* interrupted = nullptr;  // set by a signal: end early
};

// The number of violations found.
uint64_t RunPhase(const PhaseOptions& options);

}  // namespace vantor::soak

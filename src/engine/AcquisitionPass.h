#pragma once
// One pass of the acquisition cycle: what the cycle samples, from the board
// or from the simulated board, into the block image. The engine runs the
// board's pass while its board is open (and simulated debugging is off), the
// simulated pass otherwise. A pass runs on the acquisition thread only.
#include <array>
#include <atomic>
#include <cstdint>

#include "engine/Protocol.h"
#include "engine/Stop.h"

namespace vantor::engine {

// acquisitionKind values.
constexpr int kKindIdle = 0;
constexpr int kKindSimulated = 1;
constexpr int kKindHardware = 2;

// What a pass works on. The engine owns all of it; while the acquisition
// thread runs only that thread touches the image and counterRunning.
struct CycleState {
    SharedBlock& image;  // the acquisition thread's private copy of the block
    // 1 while counter n runs; shared by the simulated and the board's counters.
    std::array<int32_t, kCounters>& counterRunning;
    const StopFlag& stop;
    // What is being sampled (kKind*), set by the pass as it samples.
    std::atomic<int>& acquisitionKind;
};

class AcquisitionPass {
public:
    virtual ~AcquisitionPass() = default;
    // Samples one cycle of request into cycle.image.
    virtual void Run(const AcqRequest& request, CycleState& cycle) = 0;
};

}  // namespace vantor::engine

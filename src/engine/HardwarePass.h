#pragma once
// The point where the acquisition loop hands a cycle to a real board. The
// engine samples the simulated board whenever no hardware pass is attached or
// its board is not open.
#include "engine/Protocol.h"

namespace vantor::engine {

class AcqEngine;

class HardwarePass {
public:
    virtual ~HardwarePass() = default;
    // Whether the board is open (asked at the start of every cycle).
    virtual bool IsOpen() const = 0;
    // Samples the board for one cycle into the block image.
    virtual void Run(AcqEngine& engine, const AcqRequest& request, SharedBlock& image) = 0;
};

}  // namespace vantor::engine

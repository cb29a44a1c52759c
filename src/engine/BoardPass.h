#pragma once
// The board's pass: one acquisition cycle on the engine's board. It reads
// the analog channels, frequency inputs, counters and digital inputs that the
// merged request names into the block image and drives the requested digital
// outputs. Runs on the acquisition thread only; no lock is held during a
// board call.
//
// A value whose read failed (the card stopped answering: its bus is gone)
// is no reading: it is not pushed or stored, and the block keeps the last
// value read.
//
// A stop ends the pass early between channels; the engine ties its board's
// converter polls to the same stop word, so a cycle never outlasts a stop by
// more than one conversion.
#include <memory>

#include "boards/Board.h"
#include "engine/AcquisitionPass.h"

namespace vantor::engine {

// Samples per read on the board: below 1 means 3, above the sample buffer is
// limited to it.
int BoardSamplesPerRead(int32_t requested);

class BoardPass final : public AcquisitionPass {
public:
    explicit BoardPass(boards::Board& board);
    BoardPass(const BoardPass&) = delete;
    BoardPass& operator=(const BoardPass&) = delete;

    void Run(const AcqRequest& request, CycleState& cycle) override;

private:
    void Counter(int k, CycleState& cycle);
    // No transfer failed since the board's failure count read failedBefore.
    bool Answered(uint64_t failedBefore) const { return m_board.FailedTransfers() == failedBefore; }

    boards::Board& m_board;
    std::unique_ptr<float[]> m_buffer;  // kSampleBufferSize values
};

}  // namespace vantor::engine

#pragma once
// The hardware pass: one acquisition cycle on the engine's board. It reads
// the analog channels, frequency inputs, counters and digital inputs that the
// merged request names into the block image and drives the requested digital
// outputs. Runs on the acquisition thread only; no lock is held during a
// board call.
//
// A value whose read failed (the card stopped answering: its bus is gone)
// is no reading: it is not pushed or stored, and the block keeps the last
// value read.
//
// A stop request ends the pass early between channels, and the board's
// converter polls end at once on it, so a cycle never outlasts a stop by
// more than one conversion.
#include <memory>

#include "boards/Board.h"
#include "engine/AcqEngine.h"
#include "engine/HardwarePass.h"

namespace vantor::engine::hardware {

// Samples per read on the board: below 1 means 3, above the sample buffer is
// limited to it.
int BoardSamplesPerRead(int32_t requested);

class BoardPass final : public HardwarePass {
public:
    // Ties the board's converter polls to the engine's stop flag.
    explicit BoardPass(boards::Board& board);
    BoardPass(const BoardPass&) = delete;
    BoardPass& operator=(const BoardPass&) = delete;

    bool IsOpen() const override { return m_board.IsOpen() != 0; }
    void Run(AcqEngine& engine, const AcqRequest& request, SharedBlock& image) override;

private:
    void Counter(AcqEngine& engine, int k, SharedBlock& image);
    // No transfer failed since the board's failure count read failedBefore.
    bool Answered(uint64_t failedBefore) const { return m_board.FailedTransfers() == failedBefore; }

    boards::Board& m_board;
    std::unique_ptr<float[]> m_buffer;  // kSampleBufferSize values
};

}  // namespace vantor::engine::hardware

#pragma once
// The simulated pass: the simulated board's values stored where real samples
// go in the block image. Its board's parameters (simKind, simVoltage,
// simFrequency) may be set from any thread; the rest belongs to the
// acquisition thread.
#include <cstdint>
#include <memory>

#include "boards/SimulatedBoard.h"
#include "engine/AcquisitionPass.h"

namespace vantor::engine {

class SimulatedPass final : public AcquisitionPass {
public:
    SimulatedPass();
    SimulatedPass(const SimulatedPass&) = delete;
    SimulatedPass& operator=(const SimulatedPass&) = delete;

    // Every analog channel, the eight frequency entries and the four counter
    // entries (whatever the counts say: entries beyond them only advance the
    // waveform), then the outputs looped back to the inputs. Drives nothing.
    void Run(const AcqRequest& request, CycleState& cycle) override;

    // count samples of the analog waveform (the phase is one for all channels).
    int SimulateAnalog(int channel, float* buffer, int count);
    // The next frequency value, stored in the slot of ids 200..207.
    float SimulateFrequency(int channelId, SharedBlock& image);
    // Counter ids 300..303 over the image's holds and values; others: 0.
    static int32_t SimulateCounterStart(int counterId, CycleState& cycle);
    static float SimulateCounterRead(int counterId, CycleState& cycle);
    static void SimulateDigitalInputs(SharedBlock& image);

    boards::SimulatedBoard& Board() { return m_sim; }

private:
    boards::SimulatedBoard m_sim;
    std::unique_ptr<float[]> m_buffer;  // kSampleBufferSize values
};

}  // namespace vantor::engine

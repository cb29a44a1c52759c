#include "engine/SimulatedPass.h"

namespace vantor::engine {

SimulatedPass::SimulatedPass() : m_buffer(std::make_unique<float[]>(kSampleBufferSize)) {}

int SimulatedPass::SimulateAnalog(int /*channel*/, float* buffer, int count) {
    return m_sim.Analog(buffer, count);
}

float SimulatedPass::SimulateFrequency(int channelId, SharedBlock& image) {
    const float value = m_sim.NextFrequency();
    const int slot = channelId - kFirstFrequencyId;
    if (slot >= 0 && slot < kFrequencySlots) image.frequencySlot[slot].value = value;
    return value;
}

int32_t SimulatedPass::SimulateCounterStart(int counterId, CycleState& cycle) {
    const int a = counterId - kFirstCounterId;
    if (a < 0 || a >= kCounters) return 0;
    return boards::SimulatedBoard::CounterStart(
        a, cycle.image.counterHold, cycle.counterRunning.data(), cycle.image.counterValue);
}

float SimulatedPass::SimulateCounterRead(int counterId, CycleState& cycle) {
    const int a = counterId - kFirstCounterId;
    if (a < 0 || a >= kCounters) return 0.0F;
    return boards::SimulatedBoard::CounterRead(a, cycle.counterRunning.data(),
                                               cycle.image.counterValue);
}

void SimulatedPass::SimulateDigitalInputs(SharedBlock& image) {
    boards::SimulatedBoard::LoopBackDigital(image.digitalOutRequest, image.digitalIn,
                                            kDigitalLines);
}

void SimulatedPass::Run(const AcqRequest& request, CycleState& cycle) {
    cycle.acquisitionKind.store(kKindSimulated);
    float* buffer = m_buffer.get();
    for (int i = 0; i < request.analogCount; ++i) {
        const int n = SamplesPerRead(request.analogSamples[i]);
        const int got = SimulateAnalog(request.analogIds[i], buffer, n);
        PushSamples(cycle.image, request.analogIds[i], buffer, got);  // bad channel: dropped
    }
    // Every entry advances the waveform, also those beyond the count (they hold -1).
    for (int id : request.frequencyIds) SimulateFrequency(id, cycle.image);
    for (int id : request.counterIds) {
        SimulateCounterStart(id, cycle);
        SimulateCounterRead(id, cycle);
    }
    SimulateDigitalInputs(cycle.image);
    // A simulated cycle drives no outputs.
}

}  // namespace vantor::engine

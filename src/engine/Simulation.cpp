// The simulated pass of the acquisition loop: the simulated board's values
// stored where real samples go in the block image.
#include <atomic>

#include "engine/AcqEngine.h"
#include "engine/Globals.h"

namespace vantor::engine {

int AcqEngine::SimulateAnalog(int /*channel*/, float* buffer, int count) {
    return m_sim.Analog(buffer, count);
}

float AcqEngine::SimulateFrequency(int channelId) {
    float value = m_sim.NextFrequency();
    int slot = channelId - kFirstFrequencyId;
    if (slot >= 0 && slot < kFrequencySlots) m_image->frequencySlot[slot].value = value;
    return value;
}

int32_t AcqEngine::SimulateCounterStart(int counterId) {
    int a = counterId - kFirstCounterId;
    if (a < 0 || a >= kCounters) return 0;
    return boards::SimulatedBoard::CounterStart(a, m_image->counterHold, m_counterRunning.data(),
                                                m_image->counterValue);
}

float AcqEngine::SimulateCounterRead(int counterId) {
    int a = counterId - kFirstCounterId;
    if (a < 0 || a >= kCounters) return 0.0F;
    return boards::SimulatedBoard::CounterRead(a, m_counterRunning.data(), m_image->counterValue);
}

void AcqEngine::SimulateDigitalInputs() {
    boards::SimulatedBoard::LoopBackDigital(m_image->digitalOutRequest, m_image->digitalIn,
                                            kDigitalLines);
}

void AcqEngine::SimulatedPass(const AcqRequest& request) {
    acquisitionKind.store(kKindSimulated);
    float* buffer = m_sampleBuffer.get();
    for (int i = 0; i < request.analogCount; ++i) {
        int n = SamplesPerRead(request.analogSamples[i]);
        int got = SimulateAnalog(request.analogIds[i], buffer, n);
        PushSamples(*m_image, request.analogIds[i], buffer, got);  // bad channel: dropped
    }
    // Every entry advances the waveform, also those beyond the count (they hold -1).
    for (int id : request.frequencyIds) SimulateFrequency(id);
    for (int id : request.counterIds) {
        SimulateCounterStart(id);
        SimulateCounterRead(id);
    }
    SimulateDigitalInputs();
    // A simulated cycle drives no outputs.
}

}  // namespace vantor::engine

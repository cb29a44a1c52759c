#pragma once
// The simulated board: synthesises analog samples, frequency values and
// counter values from a few parameters, and loops digital outputs back to the
// inputs. No registers, no random numbers: the waveforms are deterministic
// sines so clients can check what they receive.
//
// The parameters are written by the operator's debug dialog on the GUI thread
// and read by the acquisition thread (atomics; a cycle may see a new kind with
// the old value for one cycle). The phases belong to the acquisition thread.
#include <array>
#include <atomic>
#include <cstdint>

namespace vantor::boards {

constexpr int32_t kSimSine = 1;   // synthesised sine waveforms
constexpr int32_t kSimFixed = 2;  // fixed values

class SimulatedBoard {
public:
    std::atomic<int32_t> simKind{kSimSine};
    std::atomic<float> simVoltage{88.0F};
    std::atomic<float> simFrequency{0.0F};

    // Fills buffer[0..count) with the analog waveform and returns count. The
    // phase is shared by all channels, so successive calls continue one wave.
    int Analog(float* buffer, int count);

    // The next point of the frequency waveform (one phase step per call).
    float NextFrequency();

    // Counter pair for counter index a (0..3) over the caller's arrays.
    // Start: 1 if it was already running, else 0 (a held counter stops).
    static int32_t CounterStart(int a, const int32_t* hold, int32_t* running, float* value);
    // Read: one more count while running, else 0.
    static float CounterRead(int a, const int32_t* running, float* value);

    // Every input reads back the level last requested for the same output.
    static void LoopBackDigital(const int32_t* outRequest, int32_t* in, int lines);

    float AnalogPhase() const { return m_analogPhase; }
    float FrequencyPhase() const { return m_frequencyPhase; }

private:
    int StepAnalogPhase();
    int WalkAnalogPhase(float* out, int count);

    float m_analogPhase = 0.0F;
    // Phases and samples of one batch (acquisition thread only).
    static constexpr int kScratch = 1024;
    alignas(32) std::array<float, kScratch> m_scratch{};
    float m_frequencyPhase = 0.0F;
};

}  // namespace vantor::boards

#include "boards/SimulatedBoard.h"

#include <cmath>

namespace vantor::boards {
namespace {
// The waveform constants are part of what clients see; keep them exact,
// including the short value of pi.
constexpr double kPi = 3.1415926;
constexpr double kAnalogStep = 0.002;
constexpr double kAnalogWrap = 3600.0;
constexpr double kAnalogPeriod = 1524.0;
constexpr double kFrequencyStep = 0.005;
constexpr double kFrequencyWrap = 360.0;
constexpr double kFrequencyPeriod = 512.0;
}  // namespace

int SimulatedBoard::Analog(float* buffer, int count) {
    const int32_t kind = simKind.load(std::memory_order_relaxed);
    const float volts = simVoltage.load(std::memory_order_relaxed);
    for (int i = 0; i < count; ++i) {
        if (kind == kSimSine) {
            m_analogPhase = static_cast<float>(static_cast<double>(m_analogPhase) + kAnalogStep);
            if (m_analogPhase >= kAnalogWrap) m_analogPhase = 0.0F;
            buffer[i] = static_cast<float>(
                volts * std::sin(m_analogPhase * 2.0 * kPi * 1.0 / kAnalogPeriod));
        } else {
            buffer[i] = volts;
        }
    }
    return count;
}

float SimulatedBoard::NextFrequency() {
    const float peak = simFrequency.load(std::memory_order_relaxed);
    if (simKind.load(std::memory_order_relaxed) != kSimSine) return peak;
    m_frequencyPhase = static_cast<float>(static_cast<double>(m_frequencyPhase) + kFrequencyStep);
    if (m_frequencyPhase >= kFrequencyWrap) m_frequencyPhase = 0.0F;
    return static_cast<float>(
        (peak * std::sin(m_frequencyPhase * 2.0 * kPi * 1.0 / kFrequencyPeriod) + peak) / 2.0);
}

int32_t SimulatedBoard::CounterStart(int a, const int32_t* hold, int32_t* running, float* value) {
    if (hold[a] == 1) {
        running[a] = 0;
        return 0;
    }
    if (running[a] == 1) return 1;
    running[a] = 1;
    value[a] = 0.0F;
    return 0;
}

float SimulatedBoard::CounterRead(int a, const int32_t* running, float* value) {
    if (running[a] == 1) {
        value[a] += 1.0F;
        return value[a];
    }
    value[a] = 0.0F;
    return 0.0F;
}

void SimulatedBoard::LoopBackDigital(const int32_t* outRequest, int32_t* in, int lines) {
    for (int i = 0; i < lines; ++i) in[i] = outRequest[i];
}

}  // namespace vantor::boards

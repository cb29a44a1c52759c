#include "boards/SimulatedBoard.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "boards/FastSine.h"

namespace vantor::boards {
namespace {
// The waveform constants are part of what clients see; keep them exact,
// including the short value of pi.
constexpr double kPi = 3.1415926;
constexpr double kAnalogStep = 0.002;
constexpr double kAnalogWrap = 3600.0;
constexpr double kAnalogPeriod = 1524.0;
constexpr double kAnalogScale = 2.0 * kPi * 1.0 / kAnalogPeriod;
constexpr double kFrequencyStep = 0.005;
constexpr double kFrequencyWrap = 360.0;
constexpr double kFrequencyPeriod = 512.0;
}  // namespace

int SimulatedBoard::StepAnalogPhase() {
    m_analogPhase = static_cast<float>(static_cast<double>(m_analogPhase) + kAnalogStep);
    if (m_analogPhase >= kAnalogWrap) m_analogPhase = 0.0F;
    return 1;
}

// The phase is a float advanced by 0.002 and rounded at every step. Inside
// one binade [2^(e-1), 2^e) every float is a multiple of the same ulp, so the
// rounded step is the same number of ulps from any of them: the next m phases
// are p + k*inc exactly, with no chain of dependent roundings. Near the end of
// the binade, near the wrap and below 1.0 single steps keep the exact walk.
int SimulatedBoard::WalkAnalogPhase(float* out, int count) {
    const float p = m_analogPhase;
    if (p < 1.0F) {
        StepAnalogPhase();
        out[0] = m_analogPhase;
        return 1;
    }
    const float inc = static_cast<float>(static_cast<double>(p) + kAnalogStep) - p;
    // The next power of two above p: its exponent field plus one, mantissa zero.
    const auto bits = std::bit_cast<uint32_t>(p);
    const double binadeEnd = std::bit_cast<float>((bits & 0x7F800000U) + 0x00800000U);
    const double limit = binadeEnd < kAnalogWrap ? binadeEnd : kAnalogWrap;
    int steps = static_cast<int>((limit - p) / inc) - 1;  // stays strictly inside
    if (steps > count) steps = count;
    if (steps < 1) {
        StepAnalogPhase();
        out[0] = m_analogPhase;
        return 1;
    }
    for (int k = 0; k < steps; ++k) out[k] = p + static_cast<float>(k + 1) * inc;
    m_analogPhase = out[steps - 1];
    return steps;
}

// Cloned for AVX2 (picked at load time where the processor has it): the sine
// loop then runs four samples wide. No FMA, so every value rounds as before.
// Not in sanitizer builds: the clone resolver runs before the sanitizer's
// runtime is up. GCC only: clang 14 does not link target_clones members.
#if defined(__GNUC__) && !defined(__clang__) && !defined(VANTOR_SANITIZED)
#define VANTOR_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VANTOR_AVX2_CLONES
#endif

VANTOR_AVX2_CLONES int SimulatedBoard::Analog(float* buffer, int count) {
    const int32_t kind = simKind.load(std::memory_order_relaxed);
    const float volts = simVoltage.load(std::memory_order_relaxed);
    if (kind != kSimSine) {
        for (int i = 0; i < count; ++i) buffer[i] = volts;
        return count;
    }
    // Phases first (vector stores), then the sines over whole blocks of eight
    // in vector code; the tail block is padded with the last phase.
    constexpr int kBlock = 8;
    for (int done = 0; done < count;) {
        const int n = count - done < kScratch - kBlock ? count - done : kScratch - kBlock;
        for (int i = 0; i < n;) i += WalkAnalogPhase(m_scratch.data() + i, n - i);
        const int padded = (n + kBlock - 1) / kBlock * kBlock;
        for (int i = n; i < padded; ++i) m_scratch[i] = m_scratch[n - 1];
        // The argument stays below 15 rad (the phase stays below 3600). The
        // scale is folded into one product: a test checks over the whole
        // wave that every float sample equals the one of the written formula.
        for (int i = 0; i < padded; ++i) {
            m_scratch[i] = static_cast<float>(volts * FastSineReduced(m_scratch[i] * kAnalogScale));
        }
        std::memcpy(buffer + done, m_scratch.data(), sizeof(float) * static_cast<size_t>(n));
        done += n;
    }
    return count;
}

float SimulatedBoard::NextFrequency() {
    const float peak = simFrequency.load(std::memory_order_relaxed);
    if (simKind.load(std::memory_order_relaxed) != kSimSine) return peak;
    m_frequencyPhase = static_cast<float>(static_cast<double>(m_frequencyPhase) + kFrequencyStep);
    if (m_frequencyPhase >= kFrequencyWrap) m_frequencyPhase = 0.0F;
    return static_cast<float>(
        (peak * FastSine(m_frequencyPhase * 2.0 * kPi * 1.0 / kFrequencyPeriod) + peak) / 2.0);
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

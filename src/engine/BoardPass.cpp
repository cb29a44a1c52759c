#include "engine/BoardPass.h"

#include <algorithm>
#include <iterator>

namespace vantor::engine {
namespace {

constexpr int kBoardDefaultSamples = 3;
constexpr int kVoltsOption = 0;  // ±5 V

int Clamp(int32_t count, int max) {
    return std::clamp<int32_t>(count, 0, max);
}

}  // namespace

int BoardSamplesPerRead(int32_t requested) {
    if (requested < 1) return kBoardDefaultSamples;
    return requested > kSampleBufferSize ? kSampleBufferSize : requested;
}

BoardPass::BoardPass(boards::Board& board)
    : m_board(board), m_buffer(std::make_unique<float[]>(kSampleBufferSize)) {}

void BoardPass::Run(const AcqRequest& request, CycleState& cycle) {
    SharedBlock& image = cycle.image;
    float* buffer = m_buffer.get();
    for (int i = 0; i < Clamp(request.analogCount, kMaxAnalogIds); ++i) {
        if (Stopping(cycle.stop)) return;
        cycle.acquisitionKind.store(kKindHardware);
        const int channel = request.analogIds[i];
        const int n = BoardSamplesPerRead(request.analogSamples[i]);
        // A channel outside 0..15 is read but not stored.
        const uint64_t failed = m_board.FailedTransfers();
        if (m_board.ReadAnalog(channel, buffer, n, kVoltsOption) == 0 && Answered(failed))
            PushSamples(image, channel, buffer, n);
    }

    for (int i = 0; i < Clamp(request.frequencyCount, kMaxFrequencyIds); ++i) {
        const int k = request.frequencyIds[i] - kFirstFrequencyId;
        if (k < 0 || k >= kFrequencySlots) continue;
        const uint64_t failed = m_board.FailedTransfers();
        const float value = m_board.ReadFrequency(k + 1);
        if (Answered(failed)) image.frequencySlot[k].value = value;
    }

    for (int i = 0; i < Clamp(request.counterCount, kMaxCounterIds); ++i) {
        const int k = request.counterIds[i] - kFirstCounterId;
        if (k >= 0 && k < kCounters) Counter(k, cycle);
    }
    if (Stopping(cycle.stop)) return;

    int32_t inputs[kDigitalLines];
    const uint64_t failed = m_board.FailedTransfers();
    for (int line = 0; line < kDigitalLines; ++line) inputs[line] = m_board.ReadDigitalInput(line);
    if (Answered(failed)) std::copy(std::begin(inputs), std::end(inputs), image.digitalIn);

    for (int i = 0; i < Clamp(request.digitalOutCount, kMaxDigitalIds); ++i) {
        const int line = request.digitalOutIds[i];
        if (line < 0 || line >= kDigitalLines) continue;
        m_board.WriteDigitalOutput(line, image.digitalOutRequest[line]);
    }
}

// A held counter stops; a released one starts again, from a fresh gate when
// released with 0. The running state is shared with the simulated counters.
void BoardPass::Counter(int k, CycleState& cycle) {
    SharedBlock& image = cycle.image;
    int32_t& running = cycle.counterRunning[static_cast<size_t>(k)];
    const int32_t hold = image.counterHold[k];
    if (hold == 1) {
        running = 0;
    } else if (running != 1) {
        running = 1;
        if (hold == 0) {
            m_board.DisableCounterGate(k);
            m_board.EnableCounterGate(k);
        }
    }
    if (running == 1) {
        const uint64_t failed = m_board.FailedTransfers();
        const auto count = static_cast<float>(m_board.ReadGatedCounter(k));
        if (Answered(failed)) image.counterValue[k] = count;
    } else {
        m_board.DisableCounterGate(k);
        image.counterValue[k] = 0.0F;
    }
}

}  // namespace vantor::engine

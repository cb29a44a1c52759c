#include "engine/Globals.h"

#include "platform/Clock.h"

namespace vantor::engine {

std::atomic<int> stopRequested{0};
std::atomic<int> acquisitionActive{0};
std::atomic<int> acquisitionKind{0};
std::atomic<int> g_bSimDebug{0};
std::atomic<int> g_bSimBoard{0};

void PauseUnlessStopped(int ms) {
    constexpr int kStepMs = 10;
    while (ms > 0 && stopRequested.load() != 1) {
        const int step = ms < kStepMs ? ms : kStepMs;
        platform::SleepMs(static_cast<uint32_t>(step));
        ms -= step;
    }
}

}  // namespace vantor::engine

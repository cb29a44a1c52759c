#include "engine/Stop.h"

#include <cstdint>

#include "platform/Clock.h"

namespace vantor::engine {

void PauseUnlessStopped(const StopFlag& stop, int ms) {
    constexpr int kStepMs = 10;
    while (ms > 0 && !Stopping(stop)) {
        const int step = ms < kStepMs ? ms : kStepMs;
        platform::SleepMs(static_cast<uint32_t>(step));
        ms -= step;
    }
}

}  // namespace vantor::engine

#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace vantor::platform {
namespace {
const auto g_processStart = std::chrono::steady_clock::now();
}

uint64_t MillisecondsSinceStart() {
    auto d = std::chrono::steady_clock::now() - g_processStart;
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

void SleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace vantor::platform

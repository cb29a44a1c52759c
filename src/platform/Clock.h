#pragma once
// Millisecond clock counted from process start (like GetTickCount, but it
// starts at 0 and never wraps in practice). Monotonic.
#include <cstdint>

namespace vantor::platform {

uint64_t MillisecondsSinceStart();
void SleepMs(uint32_t ms);

}  // namespace vantor::platform

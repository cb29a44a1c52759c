#pragma once
// The stop word of one engine: 1 tells each of its worker threads (and the
// board's converter polls) to end at the start of the next cycle or wait.
// Every engine owns its own, so stopping one never ends another's threads.
#include <atomic>

namespace vantor::engine {

// An int word rather than a std::stop_token: the board's converter polls
// watch it directly (Board::SetStopFlag).
using StopFlag = std::atomic<int>;

inline bool Stopping(const StopFlag& stop) {
    return stop.load() == 1;
}

// Sleeps ms in steps of at most 10 ms and returns early once stop reads 1,
// so no pause of a worker thread delays shutdown.
void PauseUnlessStopped(const StopFlag& stop, int ms);

}  // namespace vantor::engine

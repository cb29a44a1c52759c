#pragma once
// Process-wide words shared between the GUI thread and the worker threads.
#include <atomic>

namespace vantor::engine {

// 1 tells every worker thread to end at the start of its next cycle.
extern std::atomic<int> stopRequested;
// 1 while the acquisition thread samples, 0 while it idles in synchronous mode.
extern std::atomic<int> acquisitionActive;
// 0 idle, 1 simulated sampling, 2 hardware sampling.
extern std::atomic<int> acquisitionKind;
// The debug dialog's switch: 1 forces simulated sampling while a board is open.
extern std::atomic<int> g_bSimDebug;
// 1 when start-up found no board and the server runs on the simulated board.
extern std::atomic<int> g_bSimBoard;

// Sleeps ms in steps of at most 10 ms and returns early once a stop is
// requested, so no pause of a worker thread delays shutdown.
void PauseUnlessStopped(int ms);

constexpr int kKindIdle = 0;
constexpr int kKindSimulated = 1;
constexpr int kKindHardware = 2;

}  // namespace vantor::engine

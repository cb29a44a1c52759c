#include "engine/Globals.h"

namespace vantor::engine {

std::atomic<int> stopRequested{0};
std::atomic<int> acquisitionActive{0};
std::atomic<int> acquisitionKind{0};
std::atomic<int> g_bSimDebug{0};
std::atomic<int> g_bSimBoard{0};

}  // namespace vantor::engine

#include "dialogs/DebugGlobals.h"

namespace vantor::dialogs {

// Constructed before main; a short text, no allocation can fail here.
std::string g_strDevice = "Calib";  // NOLINT(cert-err58-cpp)
int g_nSimMode = 1;
float g_fSimValue = 88.0F;
std::array<int, kOutputLines> g_nDebugOut{};
int g_bSimDebug = 0;

const char* const kSimDevice = "SIM设备";

void ResetDebugGlobals() {
    g_strDevice = "Calib";
    g_nSimMode = 1;
    g_fSimValue = 88.0F;
    g_nDebugOut.fill(0);
    g_bSimDebug = 0;
}

}  // namespace vantor::dialogs

#pragma once
// The debug dialog's process-wide values. They outlive the dialog, so what
// the operator chose carries over from one opening to the next. GUI thread
// only: the engine keeps its own copies of what it acts on.
#include <array>
#include <string>

namespace vantor::dialogs {

constexpr int kOutputLines = 16;

// Device shown in the dialog; the main window sets it before opening, the
// device edit is copied back when the dialog closes.
extern std::string g_strDevice;
// Last simulation mode chosen: 1 random (sine), 2 fixed.
extern int g_nSimMode;
// Last voltage or frequency entered.
extern float g_fSimValue;
// The sixteen output levels the dialog has set (0 or 1).
extern std::array<int, kOutputLines> g_nDebugOut;
// The simulated-debugging switch; handed to the engine when it changes.
extern int g_bSimDebug;

// The device name of the simulated board.
extern const char* const kSimDevice;

// Back to the process-start values (tests).
void ResetDebugGlobals();

}  // namespace vantor::dialogs

#pragma once
// Internal to the crash reporter: telling the operator, after the report is
// written. Runs inside the handler.

namespace vantor::crash {

// Shows the notice on the desktop; installed next to the executable by the GUI build.
inline constexpr char kNoticeHelper[] = "vantor-crash-notice";

// With a display and an executable helper at g_state.helperPath, the helper
// shows the notice; otherwise it goes to standard error.
void TellOperator();

}  // namespace vantor::crash

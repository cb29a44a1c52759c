#pragma once
// Whether the desktop named by the environment answers, without loading a
// GUI toolkit: a $DISPLAY or $WAYLAND_DISPLAY left over from an ended
// session (an ssh login, a service manager's environment) must not keep
// the server from running headless.
#include <string>

namespace vantor::host {

// True when $WAYLAND_DISPLAY's socket or $DISPLAY's X server accepts a
// connection. Otherwise false, with why in *reason.
bool DisplayAnswers(std::string* reason);

}  // namespace vantor::host

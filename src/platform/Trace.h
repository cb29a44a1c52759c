#pragma once
// The debug trace: diagnostic lines on standard error (journald keeps them
// when the server runs under systemd). Safe to call from any thread; each
// call is one write, so lines of different threads never interleave.
#include <string_view>

namespace vantor::platform {

void TraceText(std::string_view text);
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vantor::platform

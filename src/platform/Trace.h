#pragma once
// The debug trace: diagnostic lines on standard error (journald keeps them
// when the server runs under systemd). Safe to call from any thread; each
// call is one write, so lines of different threads never interleave.
#include <string>
#include <string_view>

namespace vantor::platform {

void TraceText(std::string_view text);
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Text from outside (a peer's name) made safe for one trace line: a newline
// becomes the two characters \n, other control bytes and DEL become \xHH;
// the rest, UTF-8 included, is kept, so a name can never start a new line.
std::string TraceEscaped(std::string_view text);

}  // namespace vantor::platform

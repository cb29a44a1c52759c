#include "platform/Trace.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>

namespace vantor::platform {

void TraceText(std::string_view text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n <= 0) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

std::string TraceEscaped(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

void Trace(const char* format, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n < 0) return;
    auto len = static_cast<size_t>(n);
    if (len >= sizeof buf) {
        // Cut, but still one whole line: the next trace must not run into it.
        len = sizeof buf - 1;
        buf[len - 1] = '\n';
    }
    TraceText(std::string_view(buf, len));
}

}  // namespace vantor::platform

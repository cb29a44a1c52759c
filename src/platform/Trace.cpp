#include "platform/Trace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace vantor::platform {
namespace {

void WriteAll(std::string_view text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n <= 0) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

// Every line of text with the "<N>" journald reads its priority from.
std::string WithPriority(TraceLevel level, std::string_view text) {
    const char prefix[] = {'<', static_cast<char>('0' + static_cast<int>(level)), '>'};
    std::string out;
    out.reserve(text.size() + sizeof prefix);
    bool lineStart = true;
    for (char c : text) {
        if (lineStart) out.append(prefix, sizeof prefix);
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

void TraceFormatted(TraceLevel level, const char* format, va_list ap) {
    char buf[1024];
    int n = std::vsnprintf(buf, sizeof buf, format, ap);
    if (n < 0) return;
    auto len = static_cast<size_t>(n);
    if (len >= sizeof buf) {
        // Cut, but still one whole line: the next trace must not run into it.
        len = sizeof buf - 1;
        buf[len - 1] = '\n';
    }
    TraceTextAt(level, std::string_view(buf, len));
}

}  // namespace

bool StderrIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (stream == nullptr) return false;
    // "device:inode" in decimal, nothing else.
    const std::string_view text(stream);
    const char* end = text.data() + text.size();
    unsigned long long dev = 0;
    unsigned long long ino = 0;
    const auto [colon, devError] = std::from_chars(text.data(), end, dev);
    if (devError != std::errc() || colon == end || *colon != ':') return false;
    const auto [last, inoError] = std::from_chars(colon + 1, end, ino);
    if (inoError != std::errc() || last != end) return false;
    struct stat st {};
    if (::fstat(STDERR_FILENO, &st) != 0) return false;
    return st.st_dev == dev && st.st_ino == ino;
}

void TraceTextAt(TraceLevel level, std::string_view text) {
    if (text.empty()) return;
    if (StderrIsJournal()) {
        WriteAll(WithPriority(level, text));
    } else {
        WriteAll(text);
    }
}

void TraceText(std::string_view text) {
    TraceTextAt(TraceLevel::Info, text);
}

void Trace(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    TraceFormatted(TraceLevel::Info, format, ap);
    va_end(ap);
}

void TraceAt(TraceLevel level, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    TraceFormatted(level, format, ap);
    va_end(ap);
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

}  // namespace vantor::platform

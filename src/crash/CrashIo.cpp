#include "crash/CrashIo.h"

#include <unistd.h>

#include <cerrno>

#include "crash/CrashState.h"
#include "platform/Trace.h"

namespace vantor::crash {

void CopyText(char* dst, size_t capacity, const char* src) {
    size_t i = 0;
    for (; src[i] != '\0' && i + 1 < capacity; ++i) dst[i] = src[i];
    dst[i] = '\0';
}

// ---------------------------------------------------------------------------
// Output from inside the handler: write(2) only.

void WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        length -= static_cast<size_t>(n);
    }
}

// The trace gets the text with plain "\n" line ends: journald files lines
// with carriage returns as binary blobs. Under journald every line is an error.
void TraceRaw(const char* text, size_t length) {
    static constexpr char kPriority[] = {'<', '0' + static_cast<int>(platform::TraceLevel::Error),
                                         '>'};
    size_t n = 0;
    for (size_t i = 0; i < length && n + sizeof kPriority < sizeof g_state.trace; ++i) {
        if (text[i] == '\r') continue;
        if (g_state.journal && g_state.traceLineStart) {
            for (char c : kPriority) g_state.trace[n++] = c;
        }
        g_state.trace[n++] = text[i];
        g_state.traceLineStart = text[i] == '\n';
    }
    WriteAll(STDERR_FILENO, g_state.trace, n);
}

SafeText Line() {
    return {g_state.line, sizeof g_state.line};
}

// One piece of the report: to the file while it is open, and to the trace.
void Emit(const SafeText& t) {
    if (g_state.reportFd >= 0) WriteAll(g_state.reportFd, t.Data(), t.Size());
    TraceRaw(t.Data(), t.Size());
    g_progress.fetch_add(1, std::memory_order_relaxed);
}

void Emit(const char* text) {
    SafeText t = Line();
    Emit(t.Text(text));
}

}  // namespace vantor::crash

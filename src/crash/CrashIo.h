#pragma once
// Internal to the crash reporter: text and output helpers that the handler
// may call (write(2) only, fixed buffers from CrashState.h, no allocation).
#include <cstddef>

#include "crash/SafeFormat.h"

namespace vantor::crash {

// Copies src into dst, cut to fit; dst is always NUL-terminated.
void CopyText(char* dst, size_t capacity, const char* src);

// Writes all of data, retrying after EINTR; gives up silently on an error.
void WriteAll(int fd, const char* data, size_t length);

// The text to standard error without its carriage returns.
void TraceRaw(const char* text, size_t length);

// A fresh text in the shared line buffer; one at a time.
SafeText Line();

// One piece of the report: to the file while it is open, and to the trace.
void Emit(const SafeText& t);
void Emit(const char* text);

}  // namespace vantor::crash

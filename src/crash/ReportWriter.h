#pragma once
// Internal to the crash reporter: the report file and its body (header,
// exception, fault address, registers, call stack). Runs inside the handler.
#include <ucontext.h>

#include "crash/ExceptionCode.h"

namespace vantor::crash {

// Creates the report file at the path fixed at start-up (making its directory
// again if it went away) into g_state.reportFd. On failure traces why and
// returns false.
bool OpenReport();

// Writes the whole report, piece by piece, to the open file and the trace.
void WriteReport(const Exception& ex, const ucontext_t* uc);

}  // namespace vantor::crash

#pragma once
// Internal to the crash reporter, not part of its interface: the process-wide
// state its pieces share.
//
// Who touches it:
// - installation (CrashReport.cpp) fills every path, the module name, the UTC
//   offset, the journal flag and the previous handlers before the handlers go
//   in; removal reads the previous handlers back;
// - the handler (CrashReport.cpp) claims g_reporter and opens and closes reportFd;
// - the signal-safe output (CrashIo.cpp) formats into line and trace, writes to
//   reportFd, keeps traceLineStart and counts g_progress;
// - the report (ReportWriter.cpp) opens reportPath (making reportDir again if
//   needed) and uses utcOffset for the crash time;
// - the operator notice (OperatorNotice.cpp) builds notice and passes
//   helperPath and reportPath to the helper.
//
// Everything but installation runs inside the fatal-signal handler, so it must
// stay async-signal-safe: fixed storage built before the handlers go in, no
// allocation, no locks, lock-free atomics only. g_reporter lets one thread at
// a time into the handler, so the buffers need no other guard.
#include <limits.h>
#include <signal.h>
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vantor::crash {

inline constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
inline constexpr size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];

// Room for a full Linux path and a symbol name on one call-stack line.
inline constexpr size_t kLineSize = 1024 + PATH_MAX + 512;

// Everything the handler touches is here, built before the handlers go in.
struct State {
    struct sigaction previous[kSignalCount];
    char exePath[PATH_MAX];
    char moduleName[NAME_MAX + 1];
    char reportDir[PATH_MAX];
    char reportPath[PATH_MAX];
    char helperPath[PATH_MAX];
    long utcOffset;  // seconds east of UTC at start-up
    int reportFd;
    // Standard error is the journal's stream: every trace line of the report
    // starts with the error priority, "<3>".
    bool journal;
    bool traceLineStart;  // the next trace byte begins a line
    char line[kLineSize];
    char trace[kLineSize];
    char notice[1024];
};

inline State g_state;
inline std::atomic<bool> g_installed{false};
inline std::atomic<pid_t> g_reporter{0};     // thread writing the report, 0 before a crash
inline std::atomic<uint32_t> g_progress{0};  // pieces written so far
static_assert(std::atomic<pid_t>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);

}  // namespace vantor::crash

#pragma once
// The subcommands of vantorctl as plain functions: they check their
// arguments before touching the block, report on the given streams and
// return the process exit code.
#include <ostream>

namespace vantor::ctl {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,  // the block exists but could not be read or written
    kExitUsage = 2,    // bad arguments, or no block to attach to
};

struct Console {
    std::ostream& out;
    std::ostream& err;
    bool outIsTty = false;       // watch clears the screen only on a terminal
    bool stopOnSignals = false;  // watch ends cleanly on SIGINT/SIGTERM
};

struct DumpOptions {
    bool json = false;
    int samples = 5;  // newest samples per ring, 0..1023
};

struct WatchOptions {
    DumpOptions dump;
    int intervalMs = 500;  // 10..3,600,000
    int count = 0;         // refreshes; 0 = until interrupted
};

int RunDump(const DumpOptions& options, Console& console);
int RunWatch(const WatchOptions& options, Console& console);
// LINE 0..15, LEVEL 0 or 1.
int RunSetOutput(int line, int level, Console& console);
// COUNTER 0..3 (counter id 300 + COUNTER), VALUE 0 (run) or 1 (hold).
int RunHold(int counter, int value, Console& console);

// MODE 1 (asynchronous) or 2 (synchronous), sent to the running server.
int RunMode(int mode, Console& console);
// Asks the running server to exit; waits up to waitSeconds for its process to end.
int RunQuit(int waitSeconds, Console& console);

}  // namespace vantor::ctl

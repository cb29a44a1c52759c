#pragma once
// Text and JSON renderings of a copy of the shared data block. Both work on a
// copy taken under the mutex, so formatting never holds the lock.
#include <optional>
#include <string>

#include "protocol/BlockLayout.h"
#include "protocol/ServerStatus.h"

namespace vantor::ctl {

// Newest samples shown per ring: at most what a ring can hold.
constexpr int kMaxShownSamples = protocol::kRingSlots - 1;

struct DumpSource {
    std::string objectName;  // "/<namespace>NXSharedMemory"
    std::string ipcNamespace;
    std::optional<protocol::ServerStatus> server;  // board model and mode, when a server runs
    long endedPid = 0;  // no server runs, but pid's status file was left behind
};

// "asynchronous", "synchronous", ... for a mode number.
const char* ModeWords(int mode);

// Compact human-readable dump; samples newest samples per ring (clamped to 0..1023).
std::string FormatText(const protocol::SharedBlock& block, const DumpSource& source, int samples);
// One JSON object (layout documented in docs/shared-block.md); floats that are
// not finite become null.
std::string FormatJson(const protocol::SharedBlock& block, const DumpSource& source, int samples);

}  // namespace vantor::ctl

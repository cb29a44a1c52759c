#pragma once
// What a running server tells tools beyond the shared block: its board model,
// its mode and whether its card answers, in a small status file in the
// private runtime directory ("<ns>Vantor.status", key=value lines), and the
// copy-data messages a tool sends to the server's "Vantor" endpoint to query
// or switch the mode.
#include <optional>
#include <string>

namespace vantor::engine {

// Copy-data codes of our own, next to the client codes 1054/1064/1124.
// Switch: data word = 1 (asynchronous) or 2 (synchronous); the answer is 1
// switched, 0 already in that mode, -1 not a mode, -2 synchronous mode
// without a board (the simulated board only samples asynchronously), -3
// AcqCfg.ini could not be written (the server stays in its mode).
constexpr unsigned kCodeSetMode = 2001;
// Query: the answer is the mode shown to the operator (1, 2 or 3).
constexpr unsigned kCodeQueryMode = 2002;

constexpr long kModeSwitched = 1;
constexpr long kModeUnchanged = 0;
constexpr long kModeNotAMode = -1;
constexpr long kModeNeedsBoard = -2;
constexpr long kModeNotWritten = -3;

struct ServerStatus {
    std::string board;  // "PCM 8603", "SIM Hardware", ...
    int mode = 0;       // as shown to the operator
    long pid = 0;       // the process that wrote the file
    // The card has stopped answering (its bus is gone): 1 until it answers
    // again, and how often that happened since the board was opened.
    int boardLost = 0;
    unsigned long long boardLosses = 0;
    bool operator==(const ServerStatus&) const = default;
};

std::string ServerStatusPath();
// Whether process pid still runs. A server killed outright (SIGKILL, a crash)
// leaves its status file behind: only a file whose writer runs names a server.
bool ServerProcessRuns(long pid);
// Replaces the file atomically; false when it cannot be written.
bool WriteServerStatus(const ServerStatus& status);
// Writes the file only when status differs from what this process last
// wrote, so it can be called every second; false when a write failed.
bool UpdateServerStatus(const ServerStatus& status);
// nullopt when there is no status file (no server) or it cannot be read.
std::optional<ServerStatus> ReadServerStatus();
void RemoveServerStatus();

}  // namespace vantor::engine

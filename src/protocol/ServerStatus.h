#pragma once
// What a running server tells tools beyond the shared block: its board model,
// its mode and whether its card answers, in a small status file in the
// private runtime directory ("<ns>Vantor.status", key=value lines).
#include <optional>
#include <string>

namespace vantor::protocol {

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

}  // namespace vantor::protocol

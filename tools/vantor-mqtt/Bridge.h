#pragma once
// The bridge's loop: a peer of the server (CONNECT with its channels every
// few seconds), a reader of its block at a fixed interval, and a client of
// the broker. It keeps running while the server or the broker is away.
#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "Config.h"
#include "protocol/ServerStatus.h"

namespace vantor::mqtt {

// Runs until stop is true; returns the exit code (1 when the broker client
// cannot be set up). log receives one line per event.
int RunBridge(const BridgeConfig& config, const std::string& password,
              const std::atomic<bool>& stop, const std::function<void(const std::string&)>& log);

struct StatusInfo {
    std::optional<protocol::ServerStatus> server;  // nullopt: no server runs
    double messagesPerS = 0;
    double samplesPerS = 0;
    unsigned long long dropped = 0;
};

// The retained status: "online" with the server's board, mode and pid, the
// published channels and the rates; "offline" (the last will) when not online.
std::string StatusJson(const BridgeConfig& config, bool online, const StatusInfo& info);

}  // namespace vantor::mqtt

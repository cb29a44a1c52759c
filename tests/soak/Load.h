#pragma once
// The load generators of a soak phase. Each runs on a thread of its own
// (std::jthread) until its stop is requested.
#include <stop_token>
#include <string>

#include "SoakState.h"

namespace vantor::soak {

struct LoadShape {
    int datagramsPerSecond = 10000;
    int readers = 4;
    int clients = 4;
};

inline constexpr int kChurningPeers = 22;

// Garbage datagrams on the link's port, `perSecond` of them.
void SendGarbage(const std::stop_token& stop, SoakState& state, int perSecond, uint32_t seed);
// Copies the whole block under its mutex as fast as it can.
void ReadBlock(const std::stop_token& stop, SoakState& state);
// An object of the client library calling every data call.
void CallClient(const std::stop_token& stop, SoakState& state, int index, uint32_t seed);
// The peers on the link's real ports: the metronome (channel 15 at one sample
// per cycle) all the time; while `churn` is set, 22 peers that connect with
// changing channel lists, disconnect and fall silent. At the stop every peer
// still connected says DISCONNECT.
void RunPeers(const std::stop_token& stop, SoakState& state, const std::atomic<bool>& churn,
              uint32_t seed);
// A receiver on 9000-9021 taking the server's PORT messages.
void ReceivePorts(const std::stop_token& stop, SoakState& state);
// Real vantorctl processes every 2 s: set-output (whose input the monitor then
// expects to follow on the simulated board), hold, and every 10 s a mode
// switch: refused on the simulated board; on a card it happens, and the
// monitor pauses while the server is between modes.
void DriveCtl(const std::stop_token& stop, SoakState& state, bool card, const std::string& logDir,
              uint32_t seed);

}  // namespace vantor::soak

#pragma once
// A snapshot of what an operator window shows of the engine: the mode, the
// board, the acquisition lamp, the counts of the merged request, the peers as
// the client list shows them and the client name slots. Plain values: taken
// from any thread (AcqEngine::Status), kept and read without the engine.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/ClientNames.h"
#include "engine/PeerTable.h"

namespace vantor::engine {

// One row of the client list.
struct PeerRow {
    std::string name;
    std::string host;
    int port = 0;
    int lastSeen = 0;
    int peerCount = 0;
    // The lists of the peer's request, each id as "%d" followed by "."
    // ("0.3.7."), at most 16, 16, 16 and 8 ids; "" for an empty list.
    std::string digitalIn;
    std::string digitalOut;
    std::string analog;
    std::string frequency;
};

// The counts of the merged request.
struct RequestCounts {
    int analog = 0;
    int digitalIn = 0;
    int digitalOut = 0;
    int frequency = 0;
    int counter = 0;
};

struct EngineStatus {
    int mode = 0;           // as configured (1, 2 or 3)
    int effectiveMode = 0;  // what the acquisition thread acts on
    int displayMode = 0;    // what the mode buttons show
    std::string boardModel;
    int simBoard = 0;
    int simDebug = 0;
    int forceSim = 0;
    int acquisitionActive = 0;
    int acquisitionKind = 0;
    uint64_t cycles = 0;  // acquisition cycles sampled and published so far
    RequestCounts merged;
    std::vector<PeerRow> peers;
    std::array<std::string, kMaxClientNames> clientNames;
    // The card has stopped answering, and how often that happened.
    bool boardLinkLost = false;
    uint64_t boardLosses = 0;
};

// ids[0..count) as "%d." each, count limited to 0..max.
std::string ChannelListText(const int32_t* ids, int32_t count, int max);

// The client list's row of a peer.
PeerRow PeerRowOf(const PeerEntry& entry);

}  // namespace vantor::engine

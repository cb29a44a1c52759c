#pragma once
// The peer table: the programs that announce themselves over the negotiation
// link, each with its port, its counters and its last request.
//
// Locking: m_mutex guards the count and every field of every entry. Each
// operation below holds it for its whole run and never blocks inside, so an
// addition or refresh (receive thread), a removal by ageing (send thread) and
// a read of a name and port (send thread, display) never interleave. The
// clock is called under the lock as well; it must not block.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Protocol.h"

namespace vantor::engine {

// A peer is dropped once more than this many whole seconds passed since its
// last CONNECT, i.e. at 21 s.
constexpr int kPeerAgeLimitSeconds = 20;
// Requests of peers refused by a full table, kept so that the periodic
// rebuild goes on sampling them; a flood of new names replaces the oldest.
constexpr int kMaxRefusedPeers = 22;

struct PeerEntry {
    char name[kPeerNameBytes];
    char host[kPeerHostBytes];
    int32_t port;
    int32_t peerCount;
    int32_t lastSeen;   // ms clock at the last ageing pass
    int32_t refreshed;  // ms clock at the last CONNECT
    int32_t peerExtra;
    AcqRequest request;
};

// Milliseconds since some fixed start; the engine's is the process clock.
using PeerClock = std::function<int64_t()>;

// AddOrRefreshPeer results.
constexpr int kPeerAccepted = 1;
constexpr int kPeerTableFull = 0;
constexpr int kPeerNoName = -1;
constexpr int kPeerNoHost = -2;
constexpr int kPeerInternal = -3;

class PeerTable {
public:
    PeerTable();
    explicit PeerTable(PeerClock clock);
    PeerTable(const PeerTable&) = delete;
    PeerTable& operator=(const PeerTable&) = delete;

    // Replaces the clock (tests, a scaled clock); not while threads use the table.
    void SetClock(PeerClock clock);

    // 1 added or refreshed; 0 a new peer refused by a full table (its request
    // is kept with the refused ones); -1 no name (null, or nothing left after
    // trimming); -2 no host (null or empty). The name is cut to 127 bytes and
    // trimmed of spaces before it is looked up (ignoring ASCII case), so a
    // peer always finds its own entry again, also in a full table.
    int AddOrRefreshPeer(const char* name, const char* host, int peerCount, int peerExtra,
                         const AcqRequest& request);
    // Removes the peer, or the refused request, of that name.
    // 0 table empty; -1 no name; else 1 (whether or not an entry matched).
    int RemovePeer(const char* name);
    // One ageing pass over the peers and the refused requests; returns how
    // many peers it dropped.
    int AgePeers();

    int Count() const;
    // Copies entry index's name and port; false when index is not in use.
    bool NameAndPort(int index, char (&name)[kPeerNameBytes], int& port) const;
    // A copy of the entries in use, in table order.
    std::vector<PeerEntry> Entries() const;
    // Every peer's stored request merged in table order into an empty
    // request, then the refused requests.
    AcqRequest MergedRequests() const;

private:
    struct Refused {
        char name[kPeerNameBytes];
        int32_t refreshed;  // ms clock at the last CONNECT
        AcqRequest request;
    };

    int FindLocked(const char* name) const;
    void RemoveAtLocked(int index);
    void KeepRefusedLocked(const char* name, int32_t now, const AcqRequest& request);
    void ForgetRefusedLocked(const char* name);
    int32_t NowLocked() const;

    mutable std::mutex m_mutex;  // guards everything below
    PeerClock m_clock;
    int m_count = 0;
    std::unique_ptr<PeerEntry[]> m_entries;  // kMaxPeers, allocated once
    int m_refusedCount = 0;
    std::unique_ptr<Refused[]> m_refused;  // kMaxRefusedPeers, in order of arrival
};

}  // namespace vantor::engine

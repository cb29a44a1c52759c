#include "engine/PeerTable.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "engine/MergedRequest.h"
#include "platform/Clock.h"
#include "protocol/BlockLayout.h"
#include "protocol/TextFields.h"

namespace vantor::engine {
namespace {

int64_t ProcessClock() {
    return static_cast<int64_t>(platform::MillisecondsSinceStart());
}

// Removes spaces at both ends, in place.
void TrimSpaces(char* text) {
    size_t len = std::strlen(text);
    size_t start = 0;
    while (start < len && text[start] == ' ') ++start;
    while (len > start && text[len - 1] == ' ') --len;
    std::memmove(text, text + start, len - start);
    text[len - start] = '\0';
}

// Milliseconds from `then` to `now` on the 32-bit clock words (modulo 2^32).
int64_t Elapsed(int32_t now, int32_t then) {
    return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(then));
}

// More than the limit's whole seconds since the last CONNECT, either way.
bool Expired(int32_t now, int32_t refreshed) {
    return std::llabs(Elapsed(now, refreshed)) / 1000 > kPeerAgeLimitSeconds;
}

}  // namespace

PeerTable::PeerTable() : PeerTable(ProcessClock) {}

PeerTable::PeerTable(PeerClock clock)
    : m_clock(std::move(clock)),
      m_entries(std::make_unique<PeerEntry[]>(kMaxPeers)),
      m_refused(std::make_unique<Refused[]>(kMaxRefusedPeers)) {}

void PeerTable::SetClock(PeerClock clock) {
    std::lock_guard lock(m_mutex);
    m_clock = std::move(clock);
}

int32_t PeerTable::NowLocked() const {
    // Kept as a 32-bit word like the entries; differences are taken modulo 2^32.
    return static_cast<int32_t>(static_cast<uint32_t>(m_clock ? m_clock() : 0));
}

int PeerTable::FindLocked(const char* name) const {
    for (int i = 0; i < m_count; ++i) {
        if (::strcasecmp(m_entries[i].name, name) == 0) return i;
    }
    return -1;
}

void PeerTable::RemoveAtLocked(int index) {
    for (int i = index; i + 1 < m_count; ++i) m_entries[i] = m_entries[i + 1];
    --m_count;
}

void PeerTable::KeepRefusedLocked(const char* name, int32_t now, const AcqRequest& request) {
    int index = 0;
    while (index < m_refusedCount && ::strcasecmp(m_refused[index].name, name) != 0) ++index;
    if (index == kMaxRefusedPeers) {
        // Full: the one silent for longest makes room, the rest keep their order.
        int oldest = 0;
        for (int i = 1; i < m_refusedCount; ++i) {
            if (Elapsed(now, m_refused[i].refreshed) > Elapsed(now, m_refused[oldest].refreshed)) {
                oldest = i;
            }
        }
        for (int i = oldest; i + 1 < m_refusedCount; ++i) m_refused[i] = m_refused[i + 1];
        index = m_refusedCount - 1;
    } else if (index == m_refusedCount) {
        ++m_refusedCount;
    }
    Refused& r = m_refused[index];
    std::memcpy(r.name, name, sizeof r.name);
    r.refreshed = now;
    r.request = request;
}

void PeerTable::ForgetRefusedLocked(const char* name) {
    for (int i = 0; i < m_refusedCount; ++i) {
        if (::strcasecmp(m_refused[i].name, name) != 0) continue;
        for (int j = i; j + 1 < m_refusedCount; ++j) m_refused[j] = m_refused[j + 1];
        --m_refusedCount;
        return;
    }
}

int PeerTable::AddOrRefreshPeer(const char* name, const char* host, int peerCount, int peerExtra,
                                const AcqRequest& request) {
    std::lock_guard lock(m_mutex);
    if (name == nullptr) return kPeerNoName;
    if (host == nullptr || host[0] == '\0') return kPeerNoHost;
    char key[kPeerNameBytes];
    CopyCut(key, sizeof key, name);
    TrimSpaces(key);
    if (key[0] == '\0') return kPeerNoName;

    const int32_t now = NowLocked();
    int index = FindLocked(key);
    if (index >= 0) {
        PeerEntry& e = m_entries[index];
        e.lastSeen = now;
        e.refreshed = now;
        e.peerCount = peerCount;
        e.peerExtra = peerExtra;
        e.request = request;
        return kPeerAccepted;
    }
    if (m_count >= kMaxPeers) {
        KeepRefusedLocked(key, now, request);
        return kPeerTableFull;
    }
    int port = -1;
    for (int j = 0; j < kMaxPeers && port < 0; ++j) {
        bool held = false;
        for (int i = 0; i < m_count && !held; ++i) held = m_entries[i].port == kFirstPeerPort + j;
        if (!held) port = kFirstPeerPort + j;
    }
    if (port < 0) return kPeerInternal;  // cannot happen below 22 entries
    PeerEntry& e = m_entries[m_count];
    std::memset(&e, 0, sizeof e);
    std::memcpy(e.name, key, sizeof key);
    CopyCut(e.host, sizeof e.host, host);
    e.port = port;
    e.peerCount = peerCount;
    e.lastSeen = now;
    e.refreshed = now;
    e.peerExtra = peerExtra;
    e.request = request;
    ++m_count;
    ForgetRefusedLocked(key);  // now served as a peer
    return kPeerAccepted;
}

int PeerTable::RemovePeer(const char* name) {
    std::lock_guard lock(m_mutex);
    if (name == nullptr) return m_count == 0 ? 0 : -1;
    char key[kPeerNameBytes];
    CopyCut(key, sizeof key, name);
    TrimSpaces(key);
    ForgetRefusedLocked(key);  // also when the table has emptied since the refusal
    if (m_count == 0) return 0;
    int index = FindLocked(key);
    if (index >= 0) RemoveAtLocked(index);
    return 1;
}

int PeerTable::AgePeers() {
    std::lock_guard lock(m_mutex);
    int dropped = 0;
    // After a removal the next index is looked at, so the entry that moved
    // into the freed place waits for the next pass.
    for (int i = 0; i < m_count; ++i) {
        PeerEntry& e = m_entries[i];
        e.lastSeen = NowLocked();
        if (Expired(e.lastSeen, e.refreshed)) {
            RemoveAtLocked(i);
            ++dropped;
        }
    }
    const int32_t now = NowLocked();
    int kept = 0;
    for (int i = 0; i < m_refusedCount; ++i) {
        if (Expired(now, m_refused[i].refreshed)) continue;
        if (kept != i) m_refused[kept] = m_refused[i];
        ++kept;
    }
    m_refusedCount = kept;
    return dropped;
}

int PeerTable::Count() const {
    std::lock_guard lock(m_mutex);
    return m_count;
}

bool PeerTable::NameAndPort(int index, char (&name)[kPeerNameBytes], int& port) const {
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= m_count) return false;
    std::memcpy(name, m_entries[index].name, sizeof name);
    port = m_entries[index].port;
    return true;
}

std::vector<PeerEntry> PeerTable::Entries() const {
    std::lock_guard lock(m_mutex);
    return {m_entries.get(), m_entries.get() + m_count};
}

AcqRequest PeerTable::MergedRequests() const {
    AcqRequest merged = EmptyRequest();
    std::lock_guard lock(m_mutex);
    for (int i = 0; i < m_count; ++i) MergeRequest(merged, m_entries[i].request);
    for (int i = 0; i < m_refusedCount; ++i) MergeRequest(merged, m_refused[i].request);
    return merged;
}

}  // namespace vantor::engine

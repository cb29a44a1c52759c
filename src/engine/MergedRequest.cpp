#include "engine/MergedRequest.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace vantor::engine {
namespace {

bool Contains(const int32_t* ids, int count, int32_t id) {
    return std::find(ids, ids + count, id) != ids + count;
}

// The ids one list of a request may name: first .. first + count - 1.
struct IdRange {
    int32_t first;
    int32_t count;
    bool Holds(int32_t id) const { return id >= first && id - first < count; }
};

// Appends the ids of `from` that lie in range and that `to` lacks, while `to`
// has room; `samples` (analog only) travel with their ids.
void MergeList(int32_t* toIds, int32_t& toCount, const int32_t* fromIds, int fromCount, int limit,
               IdRange range, int32_t* toSamples = nullptr, const int32_t* fromSamples = nullptr) {
    for (int i = 0; i < fromCount; ++i) {
        if (!range.Holds(fromIds[i]) || Contains(toIds, toCount, fromIds[i]) || toCount >= limit) {
            continue;
        }
        toIds[toCount] = fromIds[i];
        if (toSamples != nullptr) toSamples[toCount] = fromSamples[i];
        ++toCount;  // after the entry: a reader never sees a count ahead of its entry
    }
}

}  // namespace

int MergeRequest(AcqRequest& merged, const AcqRequest& request) {
    AcqRequest r = request;  // limited copy: no list is read past its end
    ClampCounts(r);
    ClampCounts(merged);
    MergeList(merged.analogIds, merged.analogCount, r.analogIds, r.analogCount, kMaxAnalogIds,
              {0, kAnalogChannels}, merged.analogSamples, r.analogSamples);
    MergeList(merged.frequencyIds, merged.frequencyCount, r.frequencyIds, r.frequencyCount,
              kMaxFrequencyIds, {kFirstFrequencyId, kFrequencySlots});
    MergeList(merged.counterIds, merged.counterCount, r.counterIds, r.counterCount, kMaxCounterIds,
              {kFirstCounterId, kCounters});
    MergeList(merged.digitalInIds, merged.digitalInCount, r.digitalInIds, r.digitalInCount,
              kMaxDigitalIds, {0, kDigitalLines});
    MergeList(merged.digitalOutIds, merged.digitalOutCount, r.digitalOutIds, r.digitalOutCount,
              kMaxDigitalIds, {0, kDigitalLines});
    return 1;
}

MergedRequest::MergedRequest() {
    AcqRequest empty = EmptyRequest();
    Store(empty);
}

AcqRequest MergedRequest::Snapshot() const {
    AcqRequest out{};
    int32_t words[kWords];
    for (unsigned spins = 0;; ++spins) {
        uint32_t before = m_sequence.load(std::memory_order_acquire);
        if ((before & 1u) == 0) {
            // Acquire loads: a word from a newer write makes the check below
            // see that write's odd or advanced counter.
            for (int i = 0; i < kWords; ++i) words[i] = m_words[i].load(std::memory_order_acquire);
            if (m_sequence.load(std::memory_order_relaxed) == before) break;
        }
        if (spins > 64) std::this_thread::yield();  // a writer was preempted mid-store
    }
    std::memcpy(reinterpret_cast<char*>(&out) + kTextBytes, words, sizeof words);
    ClampCounts(out);
    return out;
}

void MergedRequest::Store(const AcqRequest& request) {
    int32_t words[kWords];
    std::memcpy(words, reinterpret_cast<const char*>(&request) + kTextBytes, sizeof words);
    uint32_t seq = m_sequence.load(std::memory_order_relaxed);
    m_sequence.store(seq + 1, std::memory_order_relaxed);
    // Release stores carry the odd counter with each word (no stand-alone
    // fences, which ThreadSanitizer cannot follow); plain moves on x86.
    for (int i = 0; i < kWords; ++i) m_words[i].store(words[i], std::memory_order_release);
    m_sequence.store(seq + 2, std::memory_order_release);
}

void MergedRequest::Publish(const AcqRequest& request) {
    std::lock_guard lock(m_writers);
    Store(request);
}

void MergedRequest::Reset() {
    Update([](AcqRequest& r) { ResetRequest(r); });
}

}  // namespace vantor::engine

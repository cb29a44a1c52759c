#pragma once
// The merged request: what the acquisition thread samples, and the rule that
// merges one request into it. Writers (the negotiation link, the periodic
// rebuild) replace or update it as a whole; the acquisition thread takes a
// consistent snapshot at the start of each cycle without ever blocking.
//
// How: the 324 bytes after the text are held as atomic words behind a
// sequence counter (a seqlock). A writer makes the counter odd, stores the
// words, and makes it even again with release order; a reader retries while
// the counter is odd or changed under it. Entries therefore always become
// visible together with (never after) the counts that cover them, and a
// reader never sees a half-built or half-emptied request.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "engine/Protocol.h"

namespace vantor::engine {

class MergedRequest {
public:
    MergedRequest();
    MergedRequest(const MergedRequest&) = delete;
    MergedRequest& operator=(const MergedRequest&) = delete;

    // Lock-free for the reader; counts are clamped to their lists. The text
    // is not kept here (nothing that samples reads it) and comes back zero.
    AcqRequest Snapshot() const;

    // Replaces the whole request in one step.
    void Publish(const AcqRequest& request);

    // Runs fn on a copy of the current request and publishes the result, all
    // under the writers' lock (writers are serialised with each other).
    template <typename Fn>
    void Update(Fn&& fn) {
        std::lock_guard lock(m_writers);
        AcqRequest current = Snapshot();
        fn(current);
        Store(current);
    }

    // Back to the empty request.
    void Reset();

private:
    static constexpr int kWords = (sizeof(AcqRequest) - kTextBytes) / 4;
    void Store(const AcqRequest& request);

    std::mutex m_writers;  // serialises Publish/Update/Reset with each other
    std::atomic<uint32_t> m_sequence{0};
    std::atomic<int32_t> m_words[kWords];
};

// Appends the request's analog, frequency, counter, digital-input and
// digital-output ids that merged does not hold yet, up to each list's limit.
// Ids outside their ranges (analog and digital 0..15, frequency 200..207,
// counters 300..303) are skipped, so they never take a slot from a real
// channel. A channel already merged keeps its samples-per-read. Counts of
// both records are limited to their lists first. Returns 1.
int MergeRequest(AcqRequest& merged, const AcqRequest& request);

}  // namespace vantor::engine

#include "engine/MergedRequest.h"

#include <cstring>
#include <thread>

namespace vantor::engine {

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

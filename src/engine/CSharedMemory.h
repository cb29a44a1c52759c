#pragma once
// A named shared-memory area with its named mutex ("<name>Mutex").
//
// Locking protocol for every user of the block, in this process or another:
// Lock (infinite wait), GetData (skip the access if null), copy whole regions
// in one piece, Unlock. Never hold the lock across a board access or a sleep.
#include <cstdint>
#include <string>

#include "platform/ProcessMutex.h"
#include "platform/SharedMemoryObject.h"

namespace vantor::engine {

class CSharedMemory {
public:
    static constexpr uint32_t kInfinite = platform::ProcessMutex::kInfinite;

    CSharedMemory() = default;
    CSharedMemory(const CSharedMemory&) = delete;
    CSharedMemory& operator=(const CSharedMemory&) = delete;

    // Creates (or attaches to) the area and its mutex. The mutex is kept even
    // when the mapping fails. Names get the IPC namespace prefix.
    bool Create(const std::string& name, uint32_t size);

    // The mapped area, or null when not mapped.
    void* GetData() const { return m_mapped ? m_shm.Data() : nullptr; }
    uint32_t Size() const { return m_size; }
    bool IsMapped() const { return m_mapped; }
    const std::string& Name() const { return m_name; }
    const std::string& MutexName() const { return m_mutexName; }
    // Why the last Create failed ("" when it did not).
    const std::string& LastError() const { return m_lastError; }

    // Waits for the mutex (kInfinite: for ever). A mutex abandoned by a dead
    // owner is taken over. The server does not look at the result.
    platform::ProcessMutex::LockResult Lock(uint32_t timeoutMs = kInfinite);
    void Unlock();

private:
    std::string m_name = "SharedMemory";
    std::string m_mutexName;
    uint32_t m_size = 0;
    bool m_mapped = false;
    std::string m_lastError;
    platform::SharedMemoryObject m_shm;
    platform::ProcessMutex m_mutex;
};

// Holds the block's mutex for a scope.
class BlockLock {
public:
    explicit BlockLock(CSharedMemory& block) : m_block(block) { m_block.Lock(); }
    ~BlockLock() { m_block.Unlock(); }
    BlockLock(const BlockLock&) = delete;
    BlockLock& operator=(const BlockLock&) = delete;

private:
    CSharedMemory& m_block;
};

}  // namespace vantor::engine

#pragma once
// A named shared-memory area with its named mutex ("<name>Mutex").
//
// Locking protocol for every user of the block, in this process or another:
// Lock (infinite wait), GetData (skip the access if null), copy whole regions
// in one piece, Unlock. Never hold the lock across a board access or a sleep.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/ProcessMutex.h"
#include "platform/SharedMemoryObject.h"

namespace vantor::protocol {

class CSharedMemory {
public:
    static constexpr uint32_t kInfinite = platform::ProcessMutex::kInfinite;

    CSharedMemory() = default;
    CSharedMemory(const CSharedMemory&) = delete;
    CSharedMemory& operator=(const CSharedMemory&) = delete;

    using Owner = platform::SharedMemoryObject::Owner;

    // Creates (or attaches to) the area and its mutex; false, and nothing
    // mapped, when either fails: an area without its lock is not to be touched.
    // The server asks for objects of its own user (Owner::kThisUser).
    // Names get the IPC namespace prefix.
    bool Create(const std::string& name, uint32_t size, Owner owner = Owner::kThisUserOrRoot);

    // The mapped area, or null when not mapped.
    void* GetData() const { return m_mapped ? m_shm.Data() : nullptr; }
    uint32_t Size() const { return m_size; }
    bool IsMapped() const { return m_mapped; }
    const std::string& Name() const { return m_name; }
    const std::string& MutexName() const { return m_mutexName; }
    // Why the last Create failed ("" when it did not), and its error code
    // (platform::kUnsafeObject for an object refused as unsafe).
    const std::string& LastError() const { return m_lastError; }
    int LastErrorCode() const { return m_lastErrorCode; }

    // Waits for the mutex (kInfinite: for ever). A mutex abandoned by a dead
    // owner is taken over. The server does not look at the result.
    platform::ProcessMutex::LockResult Lock(uint32_t timeoutMs = kInfinite);
    void Unlock();
    // The serving server's claim on the area (an flock on it, dropped by the
    // kernel when the process ends): false when another process holds it.
    bool Claim();

private:
    std::string m_name = "SharedMemory";
    std::string m_mutexName;
    uint32_t m_size = 0;
    bool m_mapped = false;
    std::string m_lastError;
    int m_lastErrorCode = 0;
    platform::SharedMemoryObject m_shm;
    platform::ProcessMutex m_mutex;
};

// Holds the block's mutex for a scope. Copy only while Held().
class BlockLock {
public:
    // Waits as long as it takes.
    explicit BlockLock(CSharedMemory& block);
    // Waits in short steps and gives up as soon as giveUp() is true, so a
    // reader that keeps the mutex (stopped, or in a debugger) never holds up
    // a stop or a mode switch.
    BlockLock(CSharedMemory& block, const std::function<bool()>& giveUp);
    ~BlockLock();
    BlockLock(const BlockLock&) = delete;
    BlockLock& operator=(const BlockLock&) = delete;

    bool Held() const { return m_held; }

private:
    CSharedMemory& m_block;
    bool m_held = false;
};

// A giveUp for BlockLock: true once ms milliseconds have passed.
std::function<bool()> GiveUpAfterMs(uint32_t ms);

}  // namespace vantor::protocol

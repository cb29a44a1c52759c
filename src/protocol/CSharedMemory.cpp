#include "protocol/CSharedMemory.h"

#include <sys/file.h>

#include "platform/Clock.h"
#include "platform/IpcNames.h"

namespace vantor::protocol {
namespace {
// Step of a lock wait that watches for a reason to give up.
constexpr uint32_t kLockStepMs = 20;

bool Taken(platform::ProcessMutex::LockResult r) {
    return r == platform::ProcessMutex::LockResult::Locked ||
           r == platform::ProcessMutex::LockResult::Abandoned;
}
}  // namespace

bool CSharedMemory::Create(const std::string& name, uint32_t size, Owner owner) {
    m_name = name;
    m_mutexName = name + "Mutex";
    m_lastError.clear();
    m_lastErrorCode = 0;
    m_mapped = false;
    m_size = size;

    auto mutex = platform::ProcessMutex::CreateOrOpen(platform::ShmName(m_mutexName), owner);
    if (!mutex) {
        m_lastError = mutex.error().text;
        m_lastErrorCode = mutex.error().code;
        return false;
    }
    m_mutex = std::move(mutex.value());

    auto shm = platform::SharedMemoryObject::CreateOrOpen(platform::ShmName(name), size, owner);
    if (!shm) {
        m_lastError = shm.error().text;
        m_lastErrorCode = shm.error().code;
        return false;
    }
    m_shm = std::move(shm.value());
    m_mapped = true;
    return true;
}

platform::ProcessMutex::LockResult CSharedMemory::Lock(uint32_t timeoutMs) {
    return m_mutex.Lock(timeoutMs);
}

void CSharedMemory::Unlock() {
    m_mutex.Unlock();
}

bool CSharedMemory::Claim() {
    return m_mapped && ::flock(m_shm.Fd(), LOCK_EX | LOCK_NB) == 0;
}

BlockLock::BlockLock(CSharedMemory& block) : m_block(block), m_held(Taken(block.Lock())) {}

BlockLock::BlockLock(CSharedMemory& block, const std::function<bool()>& giveUp) : m_block(block) {
    for (;;) {
        const auto r = block.Lock(kLockStepMs);
        if (Taken(r)) {
            m_held = true;
            return;
        }
        if (r != platform::ProcessMutex::LockResult::Timeout || giveUp()) return;
    }
}

BlockLock::~BlockLock() {
    if (m_held) m_block.Unlock();
}

std::function<bool()> GiveUpAfterMs(uint32_t ms) {
    const uint64_t deadline = platform::MillisecondsSinceStart() + ms;
    return [deadline] { return platform::MillisecondsSinceStart() >= deadline; };
}

}  // namespace vantor::protocol

#include "engine/CSharedMemory.h"

#include "platform/IpcNames.h"

namespace vantor::engine {

bool CSharedMemory::Create(const std::string& name, uint32_t size) {
    m_name = name;
    m_mutexName = name + "Mutex";
    m_lastError.clear();

    auto mutex = platform::ProcessMutex::CreateOrOpen(platform::ShmName(m_mutexName));
    if (mutex) {
        m_mutex = std::move(mutex.value());
    } else {
        m_lastError = mutex.error().text;
    }

    m_size = size;
    auto shm = platform::SharedMemoryObject::CreateOrOpen(platform::ShmName(name), size);
    if (!shm) {
        m_mapped = false;
        m_lastError = shm.error().text;
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

}  // namespace vantor::engine

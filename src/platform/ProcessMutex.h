#pragma once
// A named mutex shared between processes: a robust, process-shared
// pthread_mutex_t at offset 0 of its own shared-memory object.
//
// Race-free creation: every process opens the object with O_CREAT and then
// takes an flock() on it before looking at it. Under that file lock the first
// comer sizes the object, initialises the mutex and writes a ready mark after
// it; later comers find the mark and leave the mutex alone. The kernel drops
// the file lock if a process dies during set-up, so the next one simply
// finishes the job. An owner that dies while holding the mutex is taken over
// (EOWNERDEAD -> pthread_mutex_consistent), like an abandoned Windows mutex.
#include <cstdint>
#include <string>

#include "platform/Result.h"
#include "platform/SharedMemoryObject.h"

namespace vantor::platform {

class ProcessMutex {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    enum class LockResult { Locked, Abandoned, Timeout, Failed };

    ProcessMutex() = default;
    ProcessMutex(ProcessMutex&&) noexcept = default;
    ProcessMutex& operator=(ProcessMutex&&) noexcept = default;
    ProcessMutex(const ProcessMutex&) = delete;
    ProcessMutex& operator=(const ProcessMutex&) = delete;

    // name is the full shared-memory object name ("/...Mutex"); owner as for
    // SharedMemoryObject: a lock word someone else can write is no lock.
    static Result<ProcessMutex> CreateOrOpen(
        const std::string& name,
        SharedMemoryObject::Owner owner = SharedMemoryObject::Owner::kThisUserOrRoot);

    bool IsValid() const { return m_shm.Data() != nullptr; }
    // Waits up to timeoutMs (kInfinite: for ever). Abandoned means the
    // previous owner died holding it; the caller owns it now all the same.
    LockResult Lock(uint32_t timeoutMs = kInfinite);
    bool Unlock();

private:
    SharedMemoryObject m_shm;
};

}  // namespace vantor::platform

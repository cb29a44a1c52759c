#include "platform/ProcessMutex.h"

#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>

#include "platform/Trace.h"

#if defined(__SANITIZE_THREAD__)
#define VANTOR_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VANTOR_TSAN 1
#endif
#endif
#if defined(VANTOR_TSAN)
#include <sanitizer/tsan_interface.h>
#endif

namespace vantor::platform {
namespace {

constexpr uint32_t kReadyMark = 0x4D555458;  // "MUTX"

struct MutexObject {
    pthread_mutex_t mutex;  // must stay at offset 0: other programs map it there
    uint32_t readyMark;
};

// Longest wait for another process's set-up of the mutex: set-up takes
// microseconds, so a holder this long is stuck or hostile.
constexpr int kSetupWaitMs = 2000;
constexpr int kSetupStepMs = 10;

// Holds an flock on a descriptor for the length of a scope; gives up after
// kSetupWaitMs, so nobody can stall our start by sitting on the file lock.
class FileLock {
public:
    explicit FileLock(int fd) : m_fd(fd) {
        for (int waited = 0; waited <= kSetupWaitMs; waited += kSetupStepMs) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                m_ok = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) return;
            ::usleep(kSetupStepMs * 1000);
        }
        errno = EWOULDBLOCK;
    }
    ~FileLock() {
        if (m_ok) ::flock(m_fd, LOCK_UN);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool ok() const { return m_ok; }

private:
    int m_fd;
    bool m_ok = false;
};

bool IsReady(const MutexObject* obj) {
    return __atomic_load_n(&obj->readyMark, __ATOMIC_ACQUIRE) == kReadyMark;
}

int InitRobustMutex(pthread_mutex_t* m, bool inherit) {
    pthread_mutexattr_t attr;
    int rc = pthread_mutexattr_init(&attr);
    if (rc != 0) return rc;
    rc = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    if (rc == 0) rc = pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    // Priority inheritance makes the kernel hand a released mutex to the
    // thread that has waited: without it, readers that copy the block back to
    // back take it again before a woken waiter (the acquisition) runs, and
    // starve it.
    if (rc == 0 && inherit) rc = pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
    if (rc == 0) rc = pthread_mutex_init(m, &attr);
    pthread_mutexattr_destroy(&attr);
    return rc;
}

// A kernel without priority-inheritance futexes refuses such a mutex: the
// plain robust one still serves, without the fair hand-over.
int InitBlockMutex(pthread_mutex_t* m, const std::string& name) {
    const int rc = InitRobustMutex(m, true);
    if (rc != ENOTSUP) return rc;
    TraceAt(TraceLevel::Warning,
            "%s: no priority inheritance on this system: busy readers may delay the "
            "acquisition\n",
            name.c_str());
    return InitRobustMutex(m, false);
}

MutexObject* Object(const SharedMemoryObject& shm) {
    return static_cast<MutexObject*>(shm.Data());
}

}  // namespace

Result<ProcessMutex> ProcessMutex::CreateOrOpen(const std::string& name,
                                                SharedMemoryObject::Owner owner) {
    auto shm = SharedMemoryObject::CreateOrOpen(name, sizeof(MutexObject), owner);
    if (!shm) return shm.error();
    MutexObject* obj = Object(shm.value());
    if (!IsReady(obj)) {
        FileLock setup(shm.value().Fd());
        if (!setup.ok()) {
            return ErrnoError("set-up of " + name + " (another process holds its file lock)",
                              errno);
        }
        if (!IsReady(obj)) {
            int rc = InitBlockMutex(&obj->mutex, name);
            if (rc != 0) return ErrnoError("pthread_mutex_init " + name, rc);
            __atomic_store_n(&obj->readyMark, kReadyMark, __ATOMIC_RELEASE);
        }
    }
    ProcessMutex m;
    m.m_shm = std::move(shm.value());
    return m;
}

ProcessMutex::LockResult ProcessMutex::Lock(uint32_t timeoutMs) {
    if (!IsValid()) return LockResult::Failed;
    pthread_mutex_t* m = &Object(m_shm)->mutex;
    int rc = 0;
    if (timeoutMs == kInfinite) {
        rc = pthread_mutex_lock(m);
    } else {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        ts.tv_sec += static_cast<time_t>(timeoutMs / 1000);
        ts.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
        if (ts.tv_nsec >= 1000000000L) {
            ts.tv_sec += 1;
            ts.tv_nsec -= 1000000000L;
        }
        rc = pthread_mutex_timedlock(m, &ts);
    }
    switch (rc) {
        case 0:
            return LockResult::Locked;
        case EOWNERDEAD:
#if defined(VANTOR_TSAN)
            // ThreadSanitizer sees an EOWNERDEAD from pthread_mutex_lock but
            // not from pthread_mutex_timedlock; without this it takes the
            // caller's Unlock for an unlock of an unlocked mutex.
            if (timeoutMs != kInfinite) {
                __tsan_mutex_pre_lock(m, __tsan_mutex_try_lock);
                __tsan_mutex_post_lock(m, __tsan_mutex_try_lock, 0);
            }
#endif
            pthread_mutex_consistent(m);
            return LockResult::Abandoned;
        case ETIMEDOUT:
            return LockResult::Timeout;
        default:
            return LockResult::Failed;
    }
}

bool ProcessMutex::Unlock() {
    if (!IsValid()) return false;
    return pthread_mutex_unlock(&Object(m_shm)->mutex) == 0;
}

}  // namespace vantor::platform

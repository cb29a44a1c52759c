#pragma once
// An auto-reset event between threads of this process: Set wakes one waiter
// (or the next one to wait), and a successful wait resets it.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vantor::platform {

class Event {
public:
    void Set() {
        {
            std::lock_guard lock(m_mutex);  // guards m_signalled
            m_signalled = true;
        }
        m_cv.notify_one();
    }
    void Reset() {
        std::lock_guard lock(m_mutex);
        m_signalled = false;
    }
    // true when the event was signalled within timeoutMs.
    bool WaitFor(unsigned timeoutMs) {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return m_signalled; })) {
            return false;
        }
        m_signalled = false;
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_signalled = false;
};

}  // namespace vantor::platform

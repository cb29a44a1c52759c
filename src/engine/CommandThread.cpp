#include "engine/CommandThread.h"

#include <utility>

#include "crash/CrashReport.h"

namespace vantor::engine {

CommandThread::~CommandThread() {
    Close();
}

void CommandThread::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

bool CommandThread::Post(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        if (m_ending) return false;
        m_jobs.push_back(std::move(job));
        if (!m_thread.joinable()) m_thread = std::thread(&CommandThread::Loop, this);
    }
    m_wake.notify_one();
    return true;
}

void CommandThread::Loop() {
    CCrashReport::PrepareThread();  // a fault in a start or stop is reported too
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
        if (m_jobs.empty()) return;  // ending, nothing left to run
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

}  // namespace vantor::engine

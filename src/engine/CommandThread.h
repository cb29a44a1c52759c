#pragma once
// The engine's command thread: runs the blocking operations (start, stop,
// mode switch) one after another in the order they were posted, so that no
// caller's thread (a window's, above all) ever waits in one of them.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vantor::engine {

class CommandThread {
public:
    CommandThread() = default;
    // Runs whatever is still queued, then ends the thread.
    ~CommandThread();
    CommandThread(const CommandThread&) = delete;
    CommandThread& operator=(const CommandThread&) = delete;

    // Queues job; the thread is started on first use. After Close the job is
    // dropped (its promise breaks, so a waiting future reports it) and false.
    bool Post(std::function<void()> job);
    // Refuses new jobs, runs what is queued and ends the thread. Never call it
    // from a job: the thread would wait for itself.
    void Close();

private:
    void Loop();

    std::mutex m_mutex;  // guards m_jobs, m_ending and the start of m_thread
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_ending = false;  // closed: no new jobs
    std::thread m_thread;
};

}  // namespace vantor::engine

#pragma once
// Test code run in another process: a forked child that reports through its
// exit code only (no assertions run in it), and a pipe to signal between the
// two. A fork copies only the calling thread, so a test forks only while no
// other thread runs; with threads running (a server in the test process) it
// spawns a program instead (ChildProcess).
#include <sys/types.h>
#include <unistd.h>

namespace vantor::test {

// True when this process runs more threads than the calling one.
bool OtherThreadsRun();

class ForkedChild {
public:
    static constexpr int kNotExited = -1;  // ended by a signal, or never started

    // Fails the test, and starts nothing, while other threads run.
    template <typename Body>
    explicit ForkedChild(Body&& body) {
        if (!MayFork()) return;
        m_pid = ::fork();
        if (m_pid == 0) ::_exit(body());
    }
    // Kills and reaps a child that still runs.
    ~ForkedChild();
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    pid_t Pid() const { return m_pid; }
    void Kill() const;
    // Its exit code, or kNotExited.
    int Wait();

private:
    static bool MayFork();
    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_exit = kNotExited;
};

// A one-byte signal between processes. Receive() is false at end of file, so
// closing the parent's write end releases every waiting child at once.
class Pipe {
public:
    Pipe();
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool Send() const;
    bool Receive() const;
    // True when a byte (or end of file) arrives within timeoutMs.
    bool ReadableWithin(int timeoutMs) const;
    void CloseWrite();

private:
    int m_fd[2] = {-1, -1};
};

}  // namespace vantor::test

#pragma once
// Helpers of the platform tests: forked children, pipes between processes,
// shared-memory names and environment variables that clean up after a test.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IpcNames.h"
#include "platform/SharedMemoryObject.h"

namespace vantor::test {

// A forked child that reports through its exit code only (no assertions run in
// it). One still running when the test ends is killed and reaped, so a failed
// test never leaves a process behind.
class Child {
public:
    static constexpr int kNotExited = -1;  // ended by a signal, or never started

    template <typename Body>
    explicit Child(Body&& body) : m_pid(::fork()) {
        if (m_pid == 0) ::_exit(body());
    }
    ~Child() {
        Kill();
        Wait();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void Kill() const {
        if (m_pid > 0) ::kill(m_pid, SIGKILL);
    }
    int Wait() {
        if (m_pid <= 0) return kNotExited;
        int status = 0;
        pid_t rc = 0;
        do {
            rc = ::waitpid(m_pid, &status, 0);
        } while (rc < 0 && errno == EINTR);
        m_pid = -1;
        return (rc > 0 && WIFEXITED(status)) ? WEXITSTATUS(status) : kNotExited;
    }

private:
    pid_t m_pid;
};

// A one-byte signal between processes. Receive() is false at end of file, so
// closing the parent's write end releases every waiting child at once.
class Pipe {
public:
    Pipe() {
        if (::pipe2(m_fd, O_CLOEXEC) != 0) m_fd[0] = m_fd[1] = -1;
    }
    ~Pipe() {
        CloseWrite();
        if (m_fd[0] >= 0) ::close(m_fd[0]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool Send() const { return ::write(m_fd[1], "x", 1) == 1; }
    bool Receive() const {
        char c = 0;
        ssize_t n = 0;
        do {
            n = ::read(m_fd[0], &c, 1);
        } while (n < 0 && errno == EINTR);
        return n == 1;
    }
    // true when a byte (or end of file) arrives within timeoutMs.
    bool ReadableWithin(int timeoutMs) const {
        pollfd p{m_fd[0], POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) == 1;
    }
    void CloseWrite() {
        if (m_fd[1] >= 0) ::close(m_fd[1]);
        m_fd[1] = -1;
    }

private:
    int m_fd[2] = {-1, -1};
};

// A shared-memory name private to this test process, unlinked before and after.
class ScopedShmName {
public:
    explicit ScopedShmName(std::string_view base) : m_name(platform::ShmName(base)) {
        platform::SharedMemoryObject::Unlink(m_name);
    }
    ~ScopedShmName() { platform::SharedMemoryObject::Unlink(m_name); }
    ScopedShmName(const ScopedShmName&) = delete;
    ScopedShmName& operator=(const ScopedShmName&) = delete;
    const std::string& str() const { return m_name; }

private:
    std::string m_name;
};

// Sets (nullptr: unsets) an environment variable until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        Apply(value);
    }
    ~ScopedEnv() { Apply(m_old ? m_old->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const char* value) {
        if (value != nullptr) {
            ::setenv(m_name.c_str(), value, 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }
    std::string m_name;
    std::optional<std::string> m_old;
};

}  // namespace vantor::test

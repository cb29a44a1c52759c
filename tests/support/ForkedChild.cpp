#include "support/ForkedChild.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>

#include "support/TestEnv.h"

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VANTOR_TSAN_CLANG
#endif
#endif

namespace vantor::test {

bool OtherThreadsRun() {
    const std::string status = ReadFile("/proc/self/status");
    const size_t at = status.find("\nThreads:");
    return at == std::string::npos || std::stoi(status.substr(at + 9)) > 1;
}

bool ForkedChild::MayFork() {
#if defined(__SANITIZE_THREAD__) || defined(VANTOR_TSAN_CLANG)
    return true;  // ThreadSanitizer keeps a thread of its own, and checks forks itself
#else
    if (!OtherThreadsRun()) return true;
    ADD_FAILURE() << "forked while other threads run: spawn a program instead";
    return false;
#endif
}

ForkedChild::~ForkedChild() {
    Kill();
    Wait();
}

void ForkedChild::Kill() const {
    if (m_pid > 0 && !m_reaped) ::kill(m_pid, SIGKILL);
}

int ForkedChild::Wait() {
    if (m_pid <= 0 || m_reaped) return m_exit;
    int status = 0;
    pid_t rc = 0;
    do {
        rc = ::waitpid(m_pid, &status, 0);
    } while (rc < 0 && errno == EINTR);
    m_reaped = true;
    m_exit = rc > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : kNotExited;
    return m_exit;
}

Pipe::Pipe() {
    if (::pipe2(m_fd, O_CLOEXEC) != 0) m_fd[0] = m_fd[1] = -1;
}

Pipe::~Pipe() {
    CloseWrite();
    if (m_fd[0] >= 0) ::close(m_fd[0]);
}

bool Pipe::Send() const {
    return ::write(m_fd[1], "x", 1) == 1;
}

bool Pipe::Receive() const {
    char c = 0;
    ssize_t n = 0;
    do {
        n = ::read(m_fd[0], &c, 1);
    } while (n < 0 && errno == EINTR);
    return n == 1;
}

bool Pipe::ReadableWithin(int timeoutMs) const {
    pollfd p{m_fd[0], POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1;
}

void Pipe::CloseWrite() {
    if (m_fd[1] >= 0) ::close(m_fd[1]);
    m_fd[1] = -1;
}

}  // namespace vantor::test

#include "Process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace vantor::test {

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& env)
    : m_child(std::make_unique<ChildProcess>(ExecutableDir() + "/" + program, args,
                                             InheritedEnvironment({}, env), m_dir.Path())) {}

bool Process::Signal(int sig) {
    if (!m_child->Running()) return false;
    m_child->Signal(sig);
    return true;
}

int Process::Wait(int timeoutMs) {
    int status = 0;
    if (!m_child->WaitFor(timeoutMs, &status)) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Process::WaitFor(const std::string& text, bool onErr, int timeoutMs, size_t from) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::string s = onErr ? Err() : Out();
        if (s.size() > from && s.find(text, from) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool WaitForFreeUdpPorts(const std::vector<int>& ports, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        bool allFree = true;
        for (int port : ports) {
            int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(port));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            allFree = allFree && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            ::close(fd);
        }
        if (allFree) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace vantor::test

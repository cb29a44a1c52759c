#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "support/TestEnv.h"

extern char** environ;

namespace vantor::test {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& env, const std::string& outputDir)
    : m_out(outputDir + "/stdout"), m_err(outputDir + "/stderr") {
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings = env;
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (auto& a : argStrings) argv.push_back(a.data());
    for (auto& e : envStrings) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    m_pid = ::fork();
    if (m_pid == 0) {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const int out = ::open(m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0) ::_exit(126);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0 && !m_reaped) ::kill(m_pid, SIGKILL);
    Wait();
}

void ChildProcess::Signal(int sig) const {
    if (m_pid > 0 && !m_reaped) ::kill(m_pid, sig);
}

int ChildProcess::Wait() {
    while (m_pid > 0 && !m_reaped) {
        if (::waitpid(m_pid, &m_status, 0) == m_pid || errno != EINTR) m_reaped = true;
    }
    return m_status;
}

bool ChildProcess::Running() {
    if (!m_reaped && m_pid > 0 && ::waitpid(m_pid, &m_status, WNOHANG) == m_pid) m_reaped = true;
    return m_pid > 0 && !m_reaped;
}

bool ChildProcess::WaitFor(int timeoutMs, int* status) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Running() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (Running()) return false;
    if (status != nullptr) *status = m_status;
    return true;
}

bool ChildProcess::WaitForText(const std::string& text, bool onStderr, int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        if ((onStderr ? Stderr() : Stdout()).find(text) != std::string::npos) return true;
        if (!Running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string ChildProcess::Stdout() const {
    return ReadFile(m_out);
}
std::string ChildProcess::Stderr() const {
    return ReadFile(m_err);
}

std::vector<std::string> InheritedEnvironment(const std::vector<std::string>& drop,
                                              const std::vector<std::string>& add) {
    // Variables set in `add` replace inherited ones of the same name.
    std::vector<std::string> dropped = drop;
    for (const std::string& a : add) dropped.push_back(a.substr(0, a.find('=')));
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (std::find(dropped.begin(), dropped.end(), name) == dropped.end()) env.push_back(entry);
    }
    env.insert(env.end(), add.begin(), add.end());
    return env;
}

}  // namespace vantor::test

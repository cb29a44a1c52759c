#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

extern char** environ;

namespace vantor::test {

std::vector<std::string> InheritedEnvironment(const std::vector<std::string>& add,
                                              const std::vector<std::string>& drop) {
    std::vector<std::string> env;
    auto put = [&env](const std::string& entry) {
        const std::string name = entry.substr(0, entry.find('=')) + "=";
        auto same = [&](const std::string& e) { return e.rfind(name, 0) == 0; };
        env.erase(std::remove_if(env.begin(), env.end(), same), env.end());
        env.push_back(entry);
    };
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        if (std::find(drop.begin(), drop.end(), entry.substr(0, entry.find('='))) == drop.end()) {
            env.push_back(entry);
        }
    }
    for (const std::string& a : add) put(a);
    return env;
}

// Spawned, not forked: the test process may run threads (a server engine)
// that a fork would copy half-way through whatever they hold.
ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& env, const std::string& outputDir) {
    if (outputDir.empty()) m_dir.emplace();
    const std::string dir = outputDir.empty() ? m_dir->Path() : outputDir;
    m_out = dir + "/stdout";
    m_err = dir + "/stderr";
    const std::string path =
        program.find('/') == std::string::npos ? ExecutableDir() + "/" + program : program;

    std::vector<std::string> argStrings{path};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings = InheritedEnvironment(env);
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (auto& a : argStrings) argv.push_back(a.data());
    for (auto& e : envStrings) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, m_out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, m_err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // Whatever the test process blocks or handles, the program starts plain.
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &files, &attr, argv.data(), envp.data()) == 0) m_pid = pid;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
}

ChildProcess::~ChildProcess() {
    Signal(SIGKILL);
    while (m_pid > 0 && !m_reaped) {
        if (::waitpid(m_pid, &m_status, 0) == m_pid || errno != EINTR) m_reaped = true;
    }
}

void ChildProcess::Signal(int sig) const {
    if (m_pid > 0 && !m_reaped) ::kill(m_pid, sig);
}

bool ChildProcess::Running() {
    if (!m_reaped && m_pid > 0 && ::waitpid(m_pid, &m_status, WNOHANG) == m_pid) m_reaped = true;
    return m_pid > 0 && !m_reaped;
}

bool ChildProcess::WaitFor(int timeoutMs, int* status) {
    if (!Started()) return false;
    Eventually([&] { return !Running(); }, std::chrono::milliseconds(timeoutMs));
    if (!m_reaped) return false;
    if (status != nullptr) *status = m_status;
    return true;
}

int ChildProcess::ExitCode(int timeoutMs) {
    int status = 0;
    return WaitFor(timeoutMs, &status) && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ChildProcess::TermSignal(int timeoutMs) {
    int status = 0;
    return WaitFor(timeoutMs, &status) && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

bool ChildProcess::WaitForText(const std::string& text, bool onStderr, int timeoutMs, size_t from) {
    auto found = [&] {
        return (onStderr ? Stderr() : Stdout()).find(text, from) != std::string::npos;
    };
    // Whether it ended is asked before the output is read, and the output
    // once more after: what it wrote before it ended is always found.
    Eventually([&] { return !Running() || found(); }, std::chrono::milliseconds(timeoutMs));
    return found();
}

std::string ChildProcess::Stdout() const {
    return ReadFile(m_out);
}
std::string ChildProcess::Stderr() const {
    return ReadFile(m_err);
}

}  // namespace vantor::test

#pragma once
// A program run as a child process: its standard output and error go to
// files that the test can poll. The destructor kills and reaps it, so a test
// that fails half-way never leaves a process running.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "support/TestEnv.h"

namespace vantor::test {

// This process's environment with the named variables left out and the
// entries of add put in; an entry replaces any before it of the same name.
std::vector<std::string> InheritedEnvironment(const std::vector<std::string>& add = {},
                                              const std::vector<std::string>& drop = {});

class ChildProcess {
public:
    // program: a path, or the name of a program of this build (in bin/).
    // env: entries added to this process's environment (InheritedEnvironment).
    // Output goes to outputDir, by default to a private directory. No core
    // files (see the test main).
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& env = {}, const std::string& outputDir = "");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    void Signal(int sig) const;
    bool Running();
    // Waits up to timeoutMs for the end; true (and the wait status in
    // *status) once it ended.
    bool WaitFor(int timeoutMs, int* status = nullptr);
    // The exit code once it ended within timeoutMs; -1 when it died of a
    // signal or still runs.
    int ExitCode(int timeoutMs = kPatienceMs);
    // The signal it died of within timeoutMs; 0 when it exited or still runs.
    int TermSignal(int timeoutMs = kPatienceMs);
    // Waits up to timeoutMs for text on standard output (or error) after
    // byte from; false when the process ended or the time ran out first.
    bool WaitForText(const std::string& text, bool onStderr, int timeoutMs = kPatienceMs,
                     size_t from = 0);
    std::string Stdout() const;
    std::string Stderr() const;

private:
    std::optional<TempDir> m_dir;
    std::string m_out;
    std::string m_err;
    pid_t m_pid = -1;
    int m_status = -1;
    bool m_reaped = false;
};

}  // namespace vantor::test

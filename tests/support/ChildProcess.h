#pragma once
// A program run as a child process for end-to-end tests: its standard output
// and error go to files that the test can poll; killed and reaped if the test
// ends first.
#include <sys/types.h>

#include <string>
#include <vector>

namespace vantor::test {

class ChildProcess {
public:
    // env: the whole environment (see InheritedEnvironment); no core files.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& env, const std::string& outputDir);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    void Signal(int sig) const;
    // Waits for the end; the wait status.
    int Wait();
    // Waits up to timeoutMs; true (and the status in *status) when it ended.
    bool WaitFor(int timeoutMs, int* status);
    bool Running();
    // Waits up to timeoutMs for text on stdout or stderr; false when the
    // process ended or the time ran out first.
    bool WaitForText(const std::string& text, bool onStderr, int timeoutMs);
    std::string Stdout() const;
    std::string Stderr() const;

private:
    pid_t m_pid = -1;
    int m_status = -1;
    bool m_reaped = false;
    std::string m_out;
    std::string m_err;
};

// This process's environment without the named variables, plus extra entries
// (which replace inherited variables of the same name).
std::vector<std::string> InheritedEnvironment(const std::vector<std::string>& drop,
                                              const std::vector<std::string>& add);

}  // namespace vantor::test

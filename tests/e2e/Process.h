#pragma once
// A program of the build run as a child process, its output kept in files.
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/TestEnv.h"

namespace vantor::test {

class Process {
public:
    // program is a file name in the build's bin/; env entries are added to ours.
    Process(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env = {});
    ~Process();  // kills a child still running
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return m_pid > 0; }
    bool Signal(int sig);
    // Exit code, or -1 when it died of a signal or did not end within timeoutMs.
    int Wait(int timeoutMs = 10000);
    std::string Out() const { return ReadFile(m_dir.File("out")); }
    std::string Err() const { return ReadFile(m_dir.File("err")); }
    // Waits until text appears in standard output (or error) after byte from.
    bool WaitFor(const std::string& text, bool onErr, int timeoutMs, size_t from = 0) const;

private:
    TempDir m_dir;
    pid_t m_pid = -1;
};

// Waits up to timeoutMs until every UDP port is free on the loopback
// interface (another build's tests may hold the server's fixed ports).
bool WaitForFreeUdpPorts(const std::vector<int>& ports, int timeoutMs);

}  // namespace vantor::test

#pragma once
// A program of the build run as a child process, its output kept in files of
// a private directory: a thin layer over ChildProcess for the end-to-end tests.
#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TestEnv.h"

namespace vantor::test {

class Process {
public:
    // program is a file name in the build's bin/; env entries are added to ours.
    Process(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env = {});

    bool Started() const { return m_child->Pid() > 0; }
    bool Signal(int sig);
    // Exit code, or -1 when it died of a signal or did not end within timeoutMs.
    int Wait(int timeoutMs = 10000);
    std::string Out() const { return m_child->Stdout(); }
    std::string Err() const { return m_child->Stderr(); }
    // Waits until text appears in standard output (or error) after byte from.
    bool WaitFor(const std::string& text, bool onErr, int timeoutMs, size_t from = 0) const;

private:
    TempDir m_dir;
    std::unique_ptr<ChildProcess> m_child;
};

// Waits up to timeoutMs until every UDP port is free on the loopback
// interface (another build's tests may hold the server's fixed ports).
bool WaitForFreeUdpPorts(const std::vector<int>& ports, int timeoutMs);

}  // namespace vantor::test

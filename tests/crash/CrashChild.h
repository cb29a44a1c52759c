#pragma once
// Running a program that is meant to crash, and reading the report it leaves.
#include <sys/types.h>

#include <ctime>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace vantor::test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
inline constexpr bool kSanitized =
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
inline constexpr bool kSanitized = false;
#endif

// A child with its own crash directory, no display (unless env adds one) and
// no core file; its standard output and error go to files in outputDir.
class CrashChild {
public:
    CrashChild(const std::string& program, const std::vector<std::string>& args,
               const std::string& crashDir, const std::string& outputDir,
               const std::vector<std::string>& env = {});

    pid_t Pid() const { return m_child.Pid(); }
    int Wait() { return m_child.Wait(); }  // the wait status
    // Waits up to timeoutMs for text on standard output or error; false when
    // the process ended or the time ran out first.
    bool WaitForText(const std::string& text, bool onStderr, int timeoutMs) {
        return m_child.WaitForText(text, onStderr, timeoutMs);
    }
    std::string Stdout() const { return m_child.Stdout(); }
    std::string Stderr() const { return m_child.Stderr(); }
    time_t Started() const { return m_started; }

private:
    time_t m_started;
    ChildProcess m_child;
};

bool DiedOf(int status, int sig);

struct Report {
    std::string fileName;
    std::string text;
    std::vector<std::string> lines;  // split at "\r\n"

    std::string Line(const std::string& prefix) const;  // first line with prefix, or ""
    std::vector<std::string> StackLines() const;
};

std::vector<Report> ReadReports(const std::string& dir);

// "Fault address:  <addr> <section>:<offset> <module>"
struct FaultLine {
    uint64_t address = 0;
    unsigned section = 0;
    uint64_t offset = 0;
    std::string module;
};
FaultLine ParseFaultLine(const Report& r);

// What every report must hold whatever the fault: file name with the module
// and a start time in [from, to], header, crash time, registers, a call stack
// starting at the fault address, and the closing line end.
void ExpectCompleteReport(const Report& r, const std::string& module, time_t from, time_t to);

}  // namespace vantor::test

#pragma once
// Running a program that is meant to crash, and reading the report it leaves.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace vantor::test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
inline constexpr bool kSanitized =
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
inline constexpr bool kSanitized = false;
#endif

// The environment added for a program that crashes on purpose: its own crash
// directory, and no display unless extra names one.
std::vector<std::string> CrashEnv(const std::string& crashDir,
                                  const std::vector<std::string>& extra = {});

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
    unsigned section = 0;
    uint64_t offset = 0;
    std::string module;
};
FaultLine ParseFaultLine(const Report& r);

// The wall clock in whole seconds from the precise clock, as the report's
// crash time is read. time() reads the coarse clock, which may still show the
// previous second: good for lower bounds only.
time_t WallSeconds();

// What every report must hold whatever the fault: file name with the module
// and a start time in [from, to], header, crash time, registers, a call stack
// starting at the fault address, and the closing line end.
void ExpectCompleteReport(const Report& r, const std::string& module, time_t from, time_t to);

}  // namespace vantor::test

// End to end: SIGSEGV sent to a running headless server leaves one complete
// report named after the server's start time, and the server ends by it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include "CrashReports.h"
#include "support/ChildProcess.h"

namespace vantor::test {
namespace {

TEST(CrashServer, KillSegvOnTheRunningServerLeavesOneReport) {
    if (kSanitized) GTEST_SKIP() << "the sanitizers own the fatal signals";
    TempDir crashDir;
    // Under journald: its standard error is the journal's stream.
    TempDir output;
    WriteFile(output.File("stderr"), "");
    struct stat err {};
    ASSERT_EQ(::stat(output.File("stderr").c_str(), &err), 0);
    const time_t started = std::time(nullptr);  // the coarse clock, as the report's name
    ChildProcess child("vantor", {"--headless"},
                       CrashEnv(crashDir.Path(), {"JOURNAL_STREAM=" + std::to_string(err.st_dev) +
                                                  ":" + std::to_string(err.st_ino)}),
                       output.Path());
    // Shot once it says it runs; one that never says so is shot all the same.
    child.WaitForText("running;", true);
    child.Signal(SIGSEGV);
    ASSERT_EQ(child.TermSignal(), SIGSEGV) << child.Stderr();

    const auto reports = ReadReports(crashDir.Path());
    ASSERT_EQ(reports.size(), 1u) << child.Stderr();
    ExpectCompleteReport(reports[0], "vantor", started, WallSeconds());
    EXPECT_EQ(reports[0].Line("Exception code: "), "Exception code: C0000005 ACCESS_VIOLATION");
    EXPECT_NE(ParseFaultLine(reports[0]).module, "");  // stopped inside some module's code
    // The report's lines in the journal are errors, each of them.
    const std::string trace = child.Stderr();
    EXPECT_NE(trace.find("\n<3>Exception code: C0000005 ACCESS_VIOLATION\n<3>"), std::string::npos)
        << trace;
}

}  // namespace
}  // namespace vantor::test

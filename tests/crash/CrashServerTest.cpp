// End to end: SIGSEGV sent to a running headless server leaves one complete
// report named after the server's start time, and the server ends by it.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "CrashChild.h"
#include "support/TestEnv.h"

namespace vantor::test {
namespace {

TEST(CrashServer, KillSegvOnTheRunningServerLeavesOneReport) {
    if (kSanitized) GTEST_SKIP() << "the sanitizers own the fatal signals";
    const std::string server = ExecutableDir() + "/vantor";
    if (!std::filesystem::exists(server)) GTEST_SKIP() << "no server built at " << server;

    TempDir tmp;
    const std::string crashDir = tmp.File("crash");
    std::filesystem::create_directories(crashDir);
    CrashChild child(server, {"--headless"}, crashDir, tmp.Path());
    // Shot once it says it runs; one that never says so is shot all the same.
    child.WaitForText("running", true, 20000);
    ASSERT_EQ(kill(child.Pid(), SIGSEGV), 0);
    ASSERT_TRUE(DiedOf(child.Wait(), SIGSEGV)) << child.Stderr();

    const auto reports = ReadReports(crashDir);
    ASSERT_EQ(reports.size(), 1u) << child.Stderr();
    ExpectCompleteReport(reports[0], "vantor", child.Started(), std::time(nullptr));
    EXPECT_EQ(reports[0].Line("Exception code: "), "Exception code: C0000005 ACCESS_VIOLATION");
    EXPECT_NE(ParseFaultLine(reports[0]).module, "");  // stopped inside some module's code
}

}  // namespace
}  // namespace vantor::test

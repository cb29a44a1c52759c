// End to end: a reader that keeps the block's mutex (stopped, or sitting in a
// debugger) holds up neither a mode switch nor a stop of the real server.
#include <gtest/gtest.h>
#include <signal.h>

#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"
#include "support/ChildProcess.h"

namespace vantor::test {
namespace {

TEST(StuckReader, ModeSwitchAndStopGoOnAndPublishingResumesOnRelease) {
    ASSERT_TRUE(WaitForFreeUdpPorts({8998, 9898, 9000}));
    TempDir dir;
    TempDir config;
    ChildProcess sim("vantor-boardsim",
                     {"--endpoint", dir.File("bus"), "--card", "0x24@0x2E0", "--din", "0001"});
    ASSERT_TRUE(sim.WaitForText("ready", false)) << sim.Stderr();
    WriteFile(config.File("AcqCfg.ini"), "[HK]\nMODE=1\n");
    ChildProcess server(
        "vantor", {"--headless"},
        {"VANTOR_PORT_DEVICE=unix:" + dir.File("bus"), "VANTOR_CONFIG_DIR=" + config.Path()});
    ASSERT_TRUE(server.WaitForText("peers: none", true)) << server.Stderr();

    protocol::CSharedMemory block;
    ASSERT_TRUE(block.Create("NXSharedMemory", protocol::kBlockSize));
    auto* data = static_cast<protocol::SharedBlock*>(block.GetData());
    auto input0 = [&] {
        protocol::BlockLock lock(block);
        return data->digitalIn[0];
    };
    ASSERT_TRUE(Eventually([&] { return input0() == 1; }));

    block.Lock();
    data->digitalIn[0] = 7;  // the server's next publish overwrites it
    ChildProcess toSync("vantorctl", {"mode", "2"});
    EXPECT_EQ(toSync.ExitCode(), 0) << toSync.Stderr();
    ChildProcess toAsync("vantorctl", {"mode", "1"});
    EXPECT_EQ(toAsync.ExitCode(), 0) << toAsync.Stderr();
    EXPECT_NE(toAsync.Stdout().find("switched"), std::string::npos) << toAsync.Stdout();
    EXPECT_EQ(data->digitalIn[0], 7);
    block.Unlock();
    EXPECT_TRUE(Eventually([&] { return input0() == 1; }));

    block.Lock();
    server.Signal(SIGTERM);
    EXPECT_EQ(server.ExitCode(3000), 0) << "still running 3 s after SIGTERM\n" << server.Stderr();
    block.Unlock();
}

}  // namespace
}  // namespace vantor::test

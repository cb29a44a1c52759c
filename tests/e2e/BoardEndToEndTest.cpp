// End to end: the real server samples an emulated card that vantor-boardsim
// serves from another process, for a real peer.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <vector>

#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"
#include "protocol/ServerStatus.h"
#include "support/ChildProcess.h"

namespace vantor::test {
namespace {

class BoardEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WaitForFreeUdpPorts({8998, 9898, 9000}));
        bus = dir.File("bus");
        sim = StartSim({"--analog", "0=1.25", "--din", "8001"});
        // Asynchronous from the start: with a card present the mode is the file's.
        WriteFile(config.File("AcqCfg.ini"), "[HK]\nMODE=1\n");
    }

    std::unique_ptr<ChildProcess> StartSim(const std::vector<std::string>& values) {
        std::vector<std::string> args{"--endpoint", bus, "--card", "0x24@0x2E0"};
        args.insert(args.end(), values.begin(), values.end());
        auto started = std::make_unique<ChildProcess>("vantor-boardsim", args);
        EXPECT_TRUE(started->WaitForText("ready", false)) << started->Stderr();
        return started;
    }
    std::unique_ptr<ChildProcess> StartServer(const std::vector<std::string>& env) {
        auto server =
            std::make_unique<ChildProcess>("vantor", std::vector<std::string>{"--headless"}, env);
        EXPECT_TRUE(server->WaitForText("peers: none", true)) << server->Stderr();
        return server;
    }

    // Polls a condition on the block, read under its mutex.
    template <typename Fn>
    bool BlockShows(Fn fn,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(kPatienceMs)) {
        return Eventually(
            [&] {
                protocol::BlockLock lock(block);
                return fn(*static_cast<const protocol::SharedBlock*>(block.GetData()));
            },
            timeout);
    }

    TempDir dir;
    TempDir config;
    std::string bus;
    std::unique_ptr<ChildProcess> sim;
    protocol::CSharedMemory block;
};

// The card's values in the block are LostBusIsReportedAndTheCardComesBackWithIt's,
// its outputs driven ClientEndToEnd's; here its name and the switch to synchronous.
TEST_F(BoardEndToEnd, CardServerNamesItsBoardAndSwitchesToSynchronous) {
    auto server =
        StartServer({"VANTOR_PORT_DEVICE=unix:" + bus, "VANTOR_CONFIG_DIR=" + config.Path()});
    EXPECT_NE(server->Stderr().find("board: PCM 8603"), std::string::npos) << server->Stderr();

    // Synchronous through the running server: it stops sampling the card.
    ChildProcess toSync("vantorctl", {"mode", "2"});
    EXPECT_EQ(toSync.ExitCode(), 0) << toSync.Stderr();
    EXPECT_NE(toSync.Stdout().find("switched"), std::string::npos);
    EXPECT_NE(ReadFile(config.File("AcqCfg.ini")).find("MODE=2"), std::string::npos);
    ChildProcess dump("vantorctl", {"dump", "--json"});
    EXPECT_EQ(dump.ExitCode(), 0);
    EXPECT_NE(dump.Stdout().find(R"("server": {"board": "PCM 8603", "mode": 2,)"),
              std::string::npos)
        << dump.Stdout().substr(0, 300);
    ChildProcess again("vantorctl", {"mode", "2"});
    EXPECT_EQ(again.ExitCode(), 0);
    EXPECT_NE(again.Stdout().find("already"), std::string::npos);

    server->Signal(SIGTERM);
    EXPECT_EQ(server->ExitCode(), 0);
}

// The bus goes away under the running server (vantor-boardsim killed) and
// is served again at the same endpoint: the loss shows in the trace, the
// status and the dump, nothing made up reaches the rings meanwhile, and the
// card's own values come back with the bus.
TEST_F(BoardEndToEnd, LostBusIsReportedAndTheCardComesBackWithIt) {
    auto server =
        StartServer({"VANTOR_PORT_DEVICE=unix:" + bus, "VANTOR_CONFIG_DIR=" + config.Path()});
    ASSERT_TRUE(block.Create("NXSharedMemory", protocol::kBlockSize));
    ChildProcess peer("vantorctl", {"peer", "--name", "probe1", "--analog", "0", "--din", "0,1"});
    ASSERT_TRUE(peer.WaitForText("PORT,probe1,9000", false)) << peer.Stderr();
    auto newest = [](const protocol::SharedBlock& b, float* values, int n) {
        return protocol::NewestSamples(b.analogRing[0], values, n);
    };
    auto reads = [&](float volts) {
        return [&newest, volts](const protocol::SharedBlock& b) {
            float v = 0;
            return newest(b, &v, 1) == 1 && std::fabs(v - volts) < 10.0F / 4096;
        };
    };
    ASSERT_TRUE(BlockShows(reads(1.25F)));

    sim.reset();  // killed
    // losses 0: any count (a restart opens the card afresh).
    auto status = [](int lost, unsigned long long losses) {
        return Eventually([&] {
            auto s = protocol::ReadServerStatus();
            return s && s->board == "PCM 8603" && s->boardLost == lost &&
                   (losses == 0 || s->boardLosses == losses);
        });
    };
    EXPECT_TRUE(status(1, 1));
    EXPECT_TRUE(server->WaitForText("port bus unix:" + bus + ": lost", true)) << server->Stderr();
    ChildProcess text("vantorctl", {"dump", "--samples", "0"});
    ChildProcess json("vantorctl", {"dump", "--json", "--samples", "0"});
    EXPECT_EQ(text.ExitCode(), 0);
    EXPECT_EQ(json.ExitCode(), 0);
    EXPECT_NE(text.Stdout().find("board: LOST"), std::string::npos) << text.Stdout().substr(0, 300);
    EXPECT_NE(json.Stdout().find(R"("boardLost": true, "boardLosses": 1})"), std::string::npos)
        << json.Stdout().substr(0, 300);
    // Only the card's own 1.25 V is in the ring, and the inputs kept theirs.
    {
        protocol::BlockLock lock(block);
        const auto& b = *static_cast<const protocol::SharedBlock*>(block.GetData());
        std::vector<float> values(protocol::kRingSlots);
        const int n = newest(b, values.data(), static_cast<int>(values.size()));
        for (int i = 0; i < n; ++i) ASSERT_NEAR(values[i], 1.25F, 10.0F / 4096) << i;
        EXPECT_EQ(b.digitalIn[0], 1);
    }
    // A restart while the card is gone (two mode switches) samples nothing made
    // up: the simulated board would raise input 5 on output 5 at once.
    ChildProcess toSync("vantorctl", {"mode", "2"});
    EXPECT_EQ(toSync.ExitCode(), 0) << toSync.Stderr();
    ChildProcess toAsync("vantorctl", {"mode", "1"});
    EXPECT_EQ(toAsync.ExitCode(), 0) << toAsync.Stderr();
    EXPECT_TRUE(server->WaitForText("the card no longer answers", true)) << server->Stderr();
    {
        protocol::BlockLock lock(block);
        static_cast<protocol::SharedBlock*>(block.GetData())->digitalOutRequest[5] = 1;
    }
    EXPECT_FALSE(BlockShows([](const protocol::SharedBlock& b) { return b.digitalIn[5] == 1; },
                            std::chrono::milliseconds(300)));
    EXPECT_TRUE(status(1, 0));

    sim = StartSim({"--analog", "0=-2.5", "--din", "0002"});
    EXPECT_TRUE(BlockShows(reads(-2.5F)));
    EXPECT_TRUE(BlockShows(
        [](const protocol::SharedBlock& b) { return b.digitalIn[0] == 0 && b.digitalIn[1] == 1; }));
    EXPECT_TRUE(status(0, 0));
    EXPECT_TRUE(server->WaitForText("the card answers again", true)) << server->Stderr();

    server->Signal(SIGTERM);
    EXPECT_EQ(server->ExitCode(), 0);
}

TEST_F(BoardEndToEnd, WithoutTheBusTheServerRunsOnTheSimulatedBoard) {
    auto server = StartServer({"VANTOR_PORT_DEVICE=unix:" + dir.File("nobody-here"),
                               "VANTOR_CONFIG_DIR=" + config.Path()});
    EXPECT_NE(server->Stderr().find("board: SIM Hardware"), std::string::npos) << server->Stderr();
    // The simulated board samples only asynchronously.
    ChildProcess toSync("vantorctl", {"mode", "2"});
    EXPECT_EQ(toSync.ExitCode(), 1);
    EXPECT_NE(toSync.Stderr().find("simulated board"), std::string::npos) << toSync.Stderr();
    server->Signal(SIGTERM);
    EXPECT_EQ(server->ExitCode(), 0);
}

}  // namespace
}  // namespace vantor::test

// End to end: the real server samples an emulated card that vantor-boardsim
// serves from another process, for a real peer.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <vector>

#include "faults/FaultFixture.h"
#include "protocol/ServerStatus.h"

namespace vantor::test {
namespace {

class BoardEndToEnd : public ServerFault {
protected:
    // Polls a condition on the block, read under its mutex.
    template <typename Fn>
    bool BlockShows(Fn fn, int timeoutMs = kPatienceMs) {
        return Eventually(
            [&] {
                protocol::BlockLock lock(block);
                return fn(Block());
            },
            std::chrono::milliseconds(timeoutMs));
    }
};

// A reader that keeps the block's mutex (stopped, or in a debugger) holds up
// no mode switch; publishing resumes on its release.
TEST_F(BoardEndToEnd, StuckReaderHoldsUpNoModeSwitchAndTheBoardIsNamed) {
    auto sim = StartSim();
    auto server = StartServer();
    EXPECT_NE(server->Stderr().find("board: PCM 8603"), std::string::npos) << server->Stderr();
    ASSERT_TRUE(Attach());
    ASSERT_TRUE(Publishes());

    block.Lock();
    Block().digitalIn[0] = 7;  // the server's next publish overwrites it
    for (const char* mode : {"2", "1"}) {
        ChildProcess ctl("vantorctl", {"mode", mode});
        EXPECT_EQ(ctl.ExitCode(), 0) << ctl.Stderr();
        EXPECT_NE(ctl.Stdout().find("switched"), std::string::npos) << ctl.Stdout();
    }
    EXPECT_EQ(Peek(), 7);
    block.Unlock();
    EXPECT_TRUE(Eventually([&] { return Peek() == 1; }));

    // Synchronous: the file and the dump say so, and a second request is a no-op.
    ChildProcess toSync("vantorctl", {"mode", "2"});
    EXPECT_EQ(toSync.ExitCode(), 0) << toSync.Stderr();
    EXPECT_NE(ReadFile(config.File("AcqCfg.ini")).find("MODE=2"), std::string::npos);
    ChildProcess dump("vantorctl", {"dump", "--json"});
    EXPECT_EQ(dump.ExitCode(), 0);
    EXPECT_NE(dump.Stdout().find(R"("server": {"board": "PCM 8603", "mode": 2,)"),
              std::string::npos)
        << dump.Stdout().substr(0, 300);
    ChildProcess again("vantorctl", {"mode", "2"});
    EXPECT_EQ(again.ExitCode(), 0);
    EXPECT_NE(again.Stdout().find("already"), std::string::npos);
    ChildProcess bad("vantorctl", {"mode", "4"});  // a usage error: the program exits 2
    EXPECT_EQ(bad.ExitCode(), 2) << bad.Stderr();
}

// The bus goes away under the running server (vantor-boardsim killed) and is
// served again: the loss shows in the trace, the status and the dump, nothing
// made up reaches the block meanwhile, and the card's values come back.
TEST_F(BoardEndToEnd, LostBusIsReportedAndTheCardComesBackWithIt) {
    auto sim = StartSim();
    auto server = StartServer();
    ASSERT_TRUE(Attach());
    ChildProcess peer("vantorctl", {"peer", "--name", "probe1", "--analog", "0", "--din", "0,1"});
    ASSERT_TRUE(peer.WaitForText("PORT,probe1,9000", false)) << peer.Stderr();
    auto reads = [&](float volts) {
        return [volts](const protocol::SharedBlock& b) {
            float v = 0;
            return protocol::NewestSamples(b.analogRing[0], &v, 1) == 1 &&
                   std::fabs(v - volts) < 10.0F / 4096;
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
        std::vector<float> values(protocol::kRingSlots);
        const int n = protocol::NewestSamples(Block().analogRing[0], values.data(),
                                              static_cast<int>(values.size()));
        for (int i = 0; i < n; ++i) ASSERT_NEAR(values[i], 1.25F, 10.0F / 4096) << i;
        EXPECT_EQ(Block().digitalIn[0], 1);
    }
    // A restart while the card is gone (two mode switches) samples nothing made
    // up: the simulated board would raise input 5 on output 5 at once.
    for (const char* mode : {"2", "1"}) {
        ChildProcess ctl("vantorctl", {"mode", mode});
        EXPECT_EQ(ctl.ExitCode(), 0) << ctl.Stderr();
    }
    EXPECT_TRUE(server->WaitForText("the card no longer answers", true)) << server->Stderr();
    {
        protocol::BlockLock lock(block);
        Block().digitalOutRequest[5] = 1;
    }
    EXPECT_FALSE(
        BlockShows([](const protocol::SharedBlock& b) { return b.digitalIn[5] == 1; }, 300));
    EXPECT_TRUE(status(1, 0));

    sim = StartSim({}, {}, {"--analog", "0=-2.5", "--din", "0002"});
    EXPECT_TRUE(BlockShows(reads(-2.5F)));
    EXPECT_TRUE(BlockShows(
        [](const protocol::SharedBlock& b) { return b.digitalIn[0] == 0 && b.digitalIn[1] == 1; }));
    EXPECT_TRUE(status(0, 0));
    EXPECT_TRUE(server->WaitForText("the card answers again", true)) << server->Stderr();

    server->Signal(SIGTERM);
    EXPECT_EQ(server->ExitCode(), 0);
}

}  // namespace
}  // namespace vantor::test

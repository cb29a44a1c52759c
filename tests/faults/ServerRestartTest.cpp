// The server killed outright and started again: nothing of the dead run is
// served, readers keep their block, peers come back with their next CONNECT.
#include <signal.h>

#include "faults/FaultFixture.h"

namespace vantor::test {
namespace {

TEST_F(ServerFault, AServerKilledAndStartedAgainServesNothingStale) {
    auto sim = StartSim();
    auto server = StartServer();
    ASSERT_TRUE(Attach());
    ChildProcess peer("vantorctl",
                      {"peer", "--name", "probe1", "--analog", "0", "--dout", "3", "--every", "1"});
    ASSERT_TRUE(peer.WaitForText("PORT,probe1,9000", false)) << peer.Stderr();
    ASSERT_TRUE(server->WaitForText("peers: probe1:9000", true)) << server->Stderr();
    {
        protocol::BlockLock lock(block);
        Block().digitalOutRequest[3] = 1;
        Block().counterHold[0] = 1;
    }
    ASSERT_TRUE(sim->WaitForText("out 0x2E4 0x08", false)) << sim->Stdout().substr(0, 400);

    server->Signal(SIGKILL);
    ASSERT_EQ(server->TermSignal(), SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    const size_t peerMark = peer.Stdout().size();
    server = StartServer({}, {}, "running;");
    Figure("server SIGKILL -> restarted server running", MsSince(killed));
    {
        // The reader's mapping is the same block, and what the dead run was
        // asked to drive is gone from it.
        protocol::BlockLock lock(block);
        for (int line = 0; line < protocol::kDigitalLines; ++line) {
            EXPECT_EQ(Block().digitalOutRequest[line], 0) << line;
        }
        EXPECT_EQ(Block().counterHold[0], 0);
    }
    EXPECT_TRUE(Publishes());
    EXPECT_TRUE(peer.WaitForText("PORT,probe1,9000", false, kPatienceMs, peerMark))
        << peer.Stdout();
    EXPECT_TRUE(server->WaitForText("peers: probe1:9000", true)) << server->Stderr();
    Figure("server SIGKILL -> peer served again", MsSince(killed));
    const int32_t next = [&] {
        protocol::BlockLock lock(block);
        return Block().analogRing[0].next;
    }();
    EXPECT_TRUE(Eventually([&] {
        protocol::BlockLock lock(block);
        return Block().analogRing[0].next != next;
    }));

    // The new run answers on the copy-data bus, too.
    ChildProcess dump("vantorctl", {"dump", "--json", "--samples", "0"});
    EXPECT_EQ(dump.ExitCode(), 0) << dump.Stderr();
    ChildProcess toSync("vantorctl", {"mode", "2"});
    EXPECT_EQ(toSync.ExitCode(), 0) << toSync.Stderr();
    server->Signal(SIGTERM);
    EXPECT_EQ(server->ExitCode(), 0) << server->Stderr();
}

}  // namespace
}  // namespace vantor::test

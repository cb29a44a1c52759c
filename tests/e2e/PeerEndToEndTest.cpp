// End to end: the real server and the real vantorctl peer over the link.
#include <gtest/gtest.h>
#include <signal.h>

#include "faults/FaultFixture.h"

namespace vantor::test {
namespace {

// The server on the simulated board (nothing serves the fixture's bus).
class PeerEndToEnd : public ServerFault {
protected:
    // The ring position of an analog channel in the server's block.
    int32_t RingNext(int channel) {
        protocol::BlockLock lock(block);
        return Block().analogRing[channel].next;
    }
    bool Moves(int channel) {
        const int32_t before = RingNext(channel);
        return Eventually([&] { return RingNext(channel) != before; });
    }
    // The channel stands still while another one is sampled: one publish of
    // the block carries every channel of a cycle.
    bool StandsWhileSampling(int still, int sampled) {
        const int32_t before = RingNext(still);
        return Moves(sampled) && RingNext(still) == before;
    }
};

TEST_F(PeerEndToEnd, PeersGetTheirChannelsSampledAndTheirPortsAndLeaveNoTrace) {
    auto server = StartServer();
    ASSERT_TRUE(Attach());
    ChildProcess probe1("vantorctl", {"peer", "--name", "probe1", "--analog", "3", "--show"});
    ASSERT_TRUE(probe1.WaitForText("PORT,probe1,9000", false)) << probe1.Stderr();
    ChildProcess probe2("vantorctl", {"peer", "--name", "probe2", "--analog", "5"});
    ASSERT_TRUE(probe2.WaitForText("PORT,probe2,9001", false)) << probe2.Stderr();
    EXPECT_TRUE(server->WaitForText("peers: probe1:9000 probe2:9001", true)) << server->Stderr();
    EXPECT_TRUE(Moves(3));
    EXPECT_TRUE(Moves(5));
    EXPECT_TRUE(StandsWhileSampling(4, 3));  // nobody asked for it
    EXPECT_TRUE(probe1.WaitForText("values: a3=", false));

    probe2.Signal(SIGTERM);
    EXPECT_EQ(probe2.ExitCode(), 0);
    EXPECT_NE(probe2.Stdout().find("DISCONNECT sent"), std::string::npos);
    const size_t mark = server->Stderr().find("peers: probe1:9000 probe2:9001");
    EXPECT_TRUE(server->WaitForText("peers: probe1:9000\n", true, kPatienceMs, mark));
    // Its channel drops out at the next rebuild of the merged request (every
    // 5 s); the peer that stays keeps its own through that rebuild.
    EXPECT_TRUE(Eventually([&] { return StandsWhileSampling(5, 3); }));
    EXPECT_TRUE(Moves(3));

    server->Signal(SIGTERM);
    EXPECT_EQ(server->ExitCode(), 0);
}

// A silent peer, whose name would forge a trace line unescaped.
TEST_F(PeerEndToEnd, ASilentPeerIsDroppedByAgeingAndItsNameCannotForgeATraceLine) {
    // 10 times faster: 21 s of silence take about two seconds.
    auto server = StartServer({"VANTOR_PEER_CLOCK_SCALE=10"});
    ChildProcess peer("vantorctl",
                      {"peer", "--name", "evil\npeers: forged\x01", "--every", "3600"});
    const std::string line = "peers: evil\\npeers: forged\\x01:9000\n";
    ASSERT_TRUE(server->WaitForText(line, true)) << server->Stderr() << peer.Stderr();
    EXPECT_EQ(server->Stderr().find("\npeers: forged"), std::string::npos);
    const size_t mark = server->Stderr().find(line);
    EXPECT_TRUE(server->WaitForText("peers: none", true, kPatienceMs, mark)) << server->Stderr();
    server->Signal(SIGTERM);
    EXPECT_EQ(server->ExitCode(), 0);
}

}  // namespace
}  // namespace vantor::test

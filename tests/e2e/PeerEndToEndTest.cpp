// End to end: the real server and the real vantorctl peer over the link.
#include <gtest/gtest.h>
#include <signal.h>

#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"
#include "support/ChildProcess.h"

namespace vantor::test {
namespace {

class PeerEndToEnd : public ::testing::Test {
protected:
    // The ring position of an analog channel in the server's block.
    int32_t RingNext(int channel) {
        protocol::BlockLock lock(block);
        return static_cast<protocol::SharedBlock*>(block.GetData())->analogRing[channel].next;
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
    void StartServer(const std::vector<std::string>& env = {}) {
        ASSERT_TRUE(WaitForFreeUdpPorts({8998, 9898, 9000, 9001}));
        server =
            std::make_unique<ChildProcess>("vantor", std::vector<std::string>{"--headless"}, env);
        ASSERT_TRUE(server->WaitForText("peers: none", true)) << server->Stderr();
        ASSERT_TRUE(block.Create("NXSharedMemory", protocol::kBlockSize));
    }

    std::unique_ptr<ChildProcess> server;
    protocol::CSharedMemory block;
};

TEST_F(PeerEndToEnd, PeersGetTheirChannelsSampledAndTheirPortsAndLeaveNoTrace) {
    StartServer();
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
    StartServer({"VANTOR_PEER_CLOCK_SCALE=10"});
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

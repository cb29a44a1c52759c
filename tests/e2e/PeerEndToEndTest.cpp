// End to end: the real server and the real vantorctl peer over the link.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "Process.h"
#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"

namespace vantor::test {
namespace {

using namespace std::chrono_literals;

class PeerEndToEnd : public ::testing::Test {
protected:
    // The ring position of an analog channel in the server's block.
    int32_t RingNext(int channel) {
        protocol::BlockLock lock(block);
        return static_cast<protocol::SharedBlock*>(block.GetData())->analogRing[channel].next;
    }
    bool Moving(int channel) {
        int32_t before = RingNext(channel);
        std::this_thread::sleep_for(50ms);
        return RingNext(channel) != before;
    }
    void StartServer(const std::vector<std::string>& env = {}) {
        ASSERT_TRUE(WaitForFreeUdpPorts({8998, 9898, 9000}, 30000));
        server = std::make_unique<Process>("vantor", std::vector<std::string>{"--headless"}, env);
        ASSERT_TRUE(server->WaitFor("peers: none", true, 15000)) << server->Err();
        ASSERT_TRUE(block.Create("NXSharedMemory", protocol::kBlockSize));
    }

    std::unique_ptr<Process> server;
    protocol::CSharedMemory block;
};

TEST_F(PeerEndToEnd, PeerGetsItsChannelsSampledAndItsPortAndLeavesNoTrace) {
    StartServer();
    Process peer("vantorctl", {"peer", "--name", "probe1", "--analog", "3,5", "--show"});
    ASSERT_TRUE(peer.WaitFor("PORT,probe1,9000", false, 5000)) << peer.Err();
    EXPECT_TRUE(server->WaitFor("peers: probe1:9000", true, 3000));
    EXPECT_TRUE(Moving(3));
    EXPECT_TRUE(Moving(5));
    EXPECT_FALSE(Moving(4));  // nobody asked for it
    EXPECT_TRUE(peer.WaitFor("values: a3=", false, 3000));

    // The peer outlives several rebuilds of the merged request while it stays.
    std::this_thread::sleep_for(5500ms);
    EXPECT_TRUE(Moving(3));

    ASSERT_TRUE(peer.Signal(SIGTERM));
    EXPECT_EQ(peer.Wait(), 0);
    EXPECT_NE(peer.Out().find("DISCONNECT sent"), std::string::npos);
    size_t mark = server->Err().find("peers: probe1:9000");
    EXPECT_TRUE(server->WaitFor("peers: none", true, 3000, mark));
    // Its channels drop out at the next rebuild (every 5 s).
    auto end = std::chrono::steady_clock::now() + 7s;
    while (Moving(3) && std::chrono::steady_clock::now() < end) {
    }
    EXPECT_FALSE(Moving(3));

    ASSERT_TRUE(server->Signal(SIGTERM));
    EXPECT_EQ(server->Wait(), 0);
}

TEST_F(PeerEndToEnd, ASilentPeerIsDroppedByAgeing) {
    // 10 times faster: 21 s of silence take about two seconds.
    StartServer({"VANTOR_PEER_CLOCK_SCALE=10"});
    Process peer("vantorctl", {"peer", "--name", "quiet", "--every", "3600"});
    ASSERT_TRUE(peer.WaitFor("PORT,quiet,9000", false, 5000)) << peer.Err();
    ASSERT_TRUE(server->WaitFor("peers: quiet:9000", true, 3000)) << server->Err();
    size_t mark = server->Err().find("peers: quiet:9000");
    EXPECT_TRUE(server->WaitFor("peers: none", true, 5000, mark)) << server->Err();
    ASSERT_TRUE(server->Signal(SIGTERM));
    EXPECT_EQ(server->Wait(), 0);
}

TEST_F(PeerEndToEnd, APeerNameCannotForgeATraceLine) {
    StartServer();
    Process peer("vantorctl", {"peer", "--name", "evil\npeers: forged\x01"});
    ASSERT_TRUE(server->WaitFor("peers: evil\\npeers: forged\\x01:9000\n", true, 5000))
        << server->Err();
    EXPECT_EQ(server->Err().find("\npeers: forged"), std::string::npos);
    ASSERT_TRUE(server->Signal(SIGTERM));
    EXPECT_EQ(server->Wait(), 0);
}

}  // namespace
}  // namespace vantor::test

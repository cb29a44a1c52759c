// The running server on an emulated card while its bus hangs or goes away,
// while a reader of the block dies or stops holding its mutex, and when the
// server itself is killed outright and started again.
#include <signal.h>
#include <unistd.h>

#include <algorithm>

#include "faults/FaultFixture.h"
#include "protocol/ServerStatus.h"
#include "support/ForkedChild.h"

namespace vantor::test {
namespace {

bool BoardLost(int lost) {
    return Eventually([&] {
        auto s = protocol::ReadServerStatus();
        return s && s->boardLost == lost;
    });
}

TEST_F(ServerFault, AHungOrDeadBusNeitherStallsTheCyclesNorTheStop) {
    auto sim = StartSim();
    auto server = StartServer();
    ASSERT_TRUE(Attach());
    ASSERT_TRUE(Publishes());

    // Hung: every bus call times out, and the cycles still end; the card's
    // last inputs stay published.
    sim->Signal(SIGSTOP);
    const auto stopped = std::chrono::steady_clock::now();
    EXPECT_TRUE(Publishes());
    Figure("bus hung -> next publish", MsSince(stopped));
    EXPECT_TRUE(server->WaitForText(": lost", true)) << server->Stderr();
    Figure("bus hung -> loss traced", MsSince(stopped));
    long long slowest = 0;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(Publishes()) << i;
        slowest = std::max(slowest, MsSince(start));
    }
    Figure("bus hung: slowest of 5 publishes", slowest);
    EXPECT_TRUE(BoardLost(1));

    // Dead, then served again at the same endpoint.
    sim->Signal(SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    EXPECT_EQ(sim->TermSignal(), SIGKILL);
    EXPECT_TRUE(Publishes());
    Figure("bus killed -> next publish", MsSince(killed));
    const auto restarted = std::chrono::steady_clock::now();
    sim = StartSim();
    EXPECT_TRUE(BoardLost(0));
    Figure("bus served again -> card back", MsSince(restarted));

    // Hung again, and stopped at once, in the middle of a bus call: the stop
    // does not wait out its timeout.
    ASSERT_TRUE(Publishes());
    sim->Signal(SIGSTOP);
    server->Signal(SIGTERM);
    const auto signalled = std::chrono::steady_clock::now();
    EXPECT_EQ(server->ExitCode(), 0) << server->Stderr();
    const long long took = MsSince(signalled);
    Figure("SIGTERM -> exit with the bus hung", took);
    EXPECT_LT(took, kStopBoundMs);
    sim->Signal(SIGKILL);
}

class ReaderFault : public ServerFault {
protected:
    // A reader in another process that takes the mutex, marks input line 0
    // and then does what `then` does (dies, stops) without letting go.
    template <typename Then>
    std::unique_ptr<ForkedChild> HoldingReader(Then then) {
        auto child = std::make_unique<ForkedChild>([this, then] {
            protocol::CSharedMemory own;
            if (!own.Create("NXSharedMemory", protocol::kBlockSize)) return 1;
            own.Lock();
            static_cast<protocol::SharedBlock*>(own.GetData())->digitalIn[0] = 7;
            if (!m_locked.Send()) return 2;
            then();
            return 0;
        });
        EXPECT_TRUE(m_locked.ReadableWithin(kPatienceMs));
        EXPECT_TRUE(m_locked.Receive());
        return child;
    }

private:
    Pipe m_locked;
};

// The mutex is robust: a reader killed holding it holds up one cycle only.
// A stopped holder keeps it for ever, and the exit sequence must not wait.
TEST_F(ReaderFault, AKilledHolderHoldsUpOneCycleAndAStoppedOneNotTheStop) {
    auto sim = StartSim();
    auto server = StartServer();
    ASSERT_TRUE(Attach());
    ASSERT_TRUE(Publishes());

    auto killedReader = HoldingReader([] { ::pause(); });
    EXPECT_EQ(Peek(), 7);
    killedReader->Kill();
    const auto killed = std::chrono::steady_clock::now();
    EXPECT_EQ(killedReader->Wait(), ForkedChild::kNotExited);
    EXPECT_TRUE(Eventually([&] { return Peek() == 1; }));
    Figure("reader killed holding the mutex -> next publish", MsSince(killed));
    EXPECT_TRUE(Publishes());

    auto reader = HoldingReader([] { ::raise(SIGSTOP); });
    const std::string stat = "/proc/" + std::to_string(reader->Pid()) + "/stat";
    ASSERT_TRUE(Eventually([&] {
        const std::string s = ReadFile(stat);
        const size_t end = s.rfind(')');
        return end != std::string::npos && s.size() > end + 2 && s[end + 2] == 'T';
    }));
    server->Signal(SIGTERM);
    const auto signalled = std::chrono::steady_clock::now();
    EXPECT_EQ(server->ExitCode(kPatienceMs), 0) << server->Stderr();
    const long long took = MsSince(signalled);
    Figure("SIGTERM -> exit with a stopped reader holding the mutex", took);
    EXPECT_LT(took, kStopBoundMs);
    EXPECT_EQ(Peek(), 7);  // nothing touched the block without its mutex
    reader->Kill();
}

// Nothing of the dead run is served, readers keep their block, and peers
// come back with their next CONNECT.
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

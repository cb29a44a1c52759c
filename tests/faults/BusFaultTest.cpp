// The emulated bus under the running server stops answering (vantor-boardsim
// stopped), goes away (killed) and comes back.
#include <signal.h>

#include <algorithm>

#include "faults/FaultFixture.h"
#include "protocol/ServerStatus.h"

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

}  // namespace
}  // namespace vantor::test

// A reader of the block dies, or stops, while it holds the block's mutex.
#include <signal.h>
#include <unistd.h>

#include "faults/FaultFixture.h"
#include "support/ForkedChild.h"

namespace vantor::test {
namespace {

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

// The mutex is robust: the server's next cycle takes it over and publishes.
TEST_F(ReaderFault, AReaderKilledHoldingTheMutexHoldsUpOnlyOneCycle) {
    auto sim = StartSim();
    auto server = StartServer();
    ASSERT_TRUE(Attach());
    ASSERT_TRUE(Publishes());

    auto reader = HoldingReader([] { ::pause(); });
    EXPECT_EQ(Peek(), 7);
    reader->Kill();
    const auto killed = std::chrono::steady_clock::now();
    EXPECT_EQ(reader->Wait(), ForkedChild::kNotExited);
    EXPECT_TRUE(Eventually([&] { return Peek() == 1; }));
    Figure("reader killed holding the mutex -> next publish", MsSince(killed));
    EXPECT_TRUE(Publishes());

    server->Signal(SIGTERM);
    EXPECT_EQ(server->ExitCode(), 0) << server->Stderr();
}

// A stopped holder keeps the mutex for ever; the exit sequence must not wait
// for it.
TEST_F(ReaderFault, AReaderStoppedHoldingTheMutexDoesNotHoldUpTheStop) {
    auto sim = StartSim();
    auto server = StartServer();
    ASSERT_TRUE(Attach());
    ASSERT_TRUE(Publishes());

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

}  // namespace
}  // namespace vantor::test

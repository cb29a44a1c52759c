// The acquisition thread on the simulated board, against a real shared block.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "EngineTestSupport.h"

namespace vantor::engine {
namespace {

using namespace std::chrono_literals;

using test_support::Eventually;

class AcquisitionThread : public test_support::EngineFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
        test::WriteFile(dir.File("AcqCfg.ini"), "[HK]\nMODE=1\n");
        ASSERT_TRUE(engine->ReadConfig());
    }
    void TearDown() override {
        if (engine) engine->StopThreads();
        EngineFixture::TearDown();
    }
};

// That the loop follows the merged request while running is
// PeerEndToEnd.PeersGetTheirChannelsSampledAndTheirPortsAndLeaveNoTrace's.
TEST_F(AcquisitionThread, EndsWithinOneCycleOfStopAndSignalsItsExitEvent) {
    engine->StartAcquisition();
    ASSERT_TRUE(Eventually([&] { return engine->Cycles() >= 2; }));
    engine->SetStopRequested();
    const uint64_t atStop = engine->Cycles();
    EXPECT_TRUE(engine->AcquisitionExitEvent().WaitFor(10000));
    EXPECT_LE(engine->Cycles(), atStop + 1);  // at most the cycle under way finished
    engine->StopThreads();                    // joins
    EXPECT_FALSE(engine->IsAcquisitionRunning());
}

TEST_F(AcquisitionThread, SynchronousModeStartsNothingUnlessForced) {
    test::WriteFile(dir.File("AcqCfg.ini"), "[HK]\nMODE=2\n");
    ASSERT_TRUE(engine->ReadConfig());
    engine->StartAcquisition();
    EXPECT_FALSE(engine->IsAcquisitionRunning());

    engine->SetForceSim(1);
    engine->StartAcquisition();
    EXPECT_TRUE(engine->IsAcquisitionRunning());
    // Forced simulation switched off while running: the thread idles (and
    // its idle pause ends on a stop, see Pause.EndsAtOnceOnAStop).
    engine->SetForceSim(0);
    EXPECT_TRUE(Eventually([&] { return engine->AcquisitionActive() == 0; }));
    engine->StopThreads();
    EXPECT_FALSE(engine->IsAcquisitionRunning());
}

// A mode switch asked for through the command interface runs on the
// engine's command thread, reports there and gives its result to the future.
TEST_F(AcquisitionThread, ModeSwitchCommandRunsOffTheCallersThreadAndReports) {
    engine->StartAcquisition();  // mode 1
    auto changes = std::make_shared<std::atomic<int>>(0);
    engine->SetChangeListener([changes] { changes->fetch_add(1); });
    struct Report {
        std::thread::id thread;
        ModeSwitchResult result;
    };
    auto report = std::make_shared<Report>();  // outlives a test that gives up waiting
    std::future<ModeSwitchResult> switched =
        engine->SwitchModeAsync(kModeSync, [report](const ModeSwitchResult& r) {
            report->thread = std::this_thread::get_id();
            report->result = r;
        });
    ASSERT_EQ(switched.wait_for(30s), std::future_status::ready);
    const ModeSwitchResult result = switched.get();
    EXPECT_EQ(result.change, ModeSwitch::kSwitched);
    EXPECT_EQ(result.displayMode, kModeSync);
    EXPECT_NE(report->thread, std::thread::id());
    EXPECT_NE(report->thread, std::this_thread::get_id());
    EXPECT_EQ(report->result.change, ModeSwitch::kSwitched);
    EXPECT_EQ(engine->Status().displayMode, kModeSync);
    EXPECT_FALSE(engine->IsAcquisitionRunning());  // synchronous: the clients sample
    EXPECT_GT(changes->load(), 0);
    EXPECT_EQ(engine->SwitchModeAsync(kModeSync).get().change, ModeSwitch::kUnchanged);
}

// A pause far longer than any test ends as soon as the stop is raised.
TEST(Pause, EndsAtOnceOnAStop) {
    // Shared with the sleeper, which a failing pause leaves running.
    auto stop = std::make_shared<StopFlag>(0);
    auto paused = std::make_shared<std::promise<void>>();
    std::future<void> ended = paused->get_future();
    std::thread([stop, paused] {
        PauseUnlessStopped(*stop, 600000);
        paused->set_value();
    }).detach();
    stop->store(1);
    EXPECT_EQ(ended.wait_for(30s), std::future_status::ready);
}

// Each engine has a stop of its own: stopping one leaves another sampling
// (an output request reads back on its input).
TEST_F(AcquisitionThread, StoppingOneEngineLeavesAnotherSampling) {
    CSharedMemory otherBlock;
    ASSERT_TRUE(otherBlock.Create("OtherBlock", kBlockSize));
    AcqEngine other(otherBlock);
    other.SetConfigDir(dir.Path());
    ASSERT_TRUE(other.ReadConfig());
    engine->StartAcquisition();
    other.StartAcquisition();
    engine->StopThreads();

    auto* shared = static_cast<SharedBlock*>(otherBlock.GetData());
    {
        BlockLock lock(otherBlock);
        shared->digitalOutRequest[5] = 1;
    }
    EXPECT_TRUE(Eventually([&] {
        BlockLock lock(otherBlock);
        return shared->digitalIn[5] == 1;
    }));
    EXPECT_EQ(other.AcquisitionActive(), 1);
    EXPECT_EQ(other.AcquisitionKind(), kKindSimulated);
    other.StopThreads();
}

// A card retry or a mode switch queued just before the host stops must not
// bring the engine up again, clearing the stop raised at once, before the stop
// gets its turn.
TEST_F(AcquisitionThread, StartsQueuedBeforeAStopStartNothing) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> held{false};
    auto first = engine->StartAsync(false, [&](int) {
        held = true;  // the command thread waits here
        released.wait();
    });
    ASSERT_TRUE(Eventually([&] { return held.load(); }));
    std::atomic<bool> stopKeptByStart{false};
    std::atomic<bool> stopKeptBySwitch{false};
    auto start = engine->StartAsync(false, [&](int) { stopKeptByStart = engine->StopRequested(); });
    auto switched = engine->SwitchModeAsync(kModeAsyncVariant, [&](const ModeSwitchResult&) {
        stopKeptBySwitch = engine->StopRequested();
    });
    auto stop = engine->StopAsync();
    release.set_value();
    ASSERT_EQ(stop.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(start.get(), first.get());
    EXPECT_TRUE(stopKeptByStart);
    EXPECT_EQ(switched.get().change, ModeSwitch::kSwitched);  // the file still changes
    EXPECT_TRUE(stopKeptBySwitch);
    EXPECT_FALSE(engine->IsAcquisitionRunning());
}

}  // namespace
}  // namespace vantor::engine

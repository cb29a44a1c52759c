// The simulated board's values as the acquisition loop stores them.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

#include "EngineTestSupport.h"
#include "boards/FastSine.h"
#include "engine/SimulatedPass.h"

namespace vantor::engine {
namespace {

using test_support::Analog;
using test_support::Put;

class Simulation : public test_support::EngineFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
        engine->SetForceSim(1);  // effective mode 1 while the configured mode is 2
    }
};

TEST_F(Simulation, FirstAnalogSampleFollowsTheSine) {
    engine->Merged().Publish(Analog({{4, 0}}));  // 0 samples means 10

    ASSERT_EQ(engine->RunCycle(), 1);
    const AnalogRing& ring = Shared().analogRing[4];
    EXPECT_EQ(RingFill(ring), 10);
    const auto expected = static_cast<float>(88.0 * std::sin(0.002F * 2.0 * 3.1415926 / 1524.0));
    EXPECT_FLOAT_EQ(ring.samples[0], expected);
    for (int i = 0; i < 10; ++i) EXPECT_LE(std::fabs(ring.samples[i]), 88.0F);
    EXPECT_EQ(engine->AcquisitionKind(), kKindSimulated);
    EXPECT_EQ(Shared().headMark, 0u);  // marks are never copied to the shared area
}

TEST_F(Simulation, FixedKindGivesExactValuesAndHoldsThePhase) {
    engine->Sim().simKind.store(boards::kSimFixed);
    engine->Sim().simVoltage.store(5.0F);
    engine->Sim().simFrequency.store(1234.5F);
    AcqRequest r = Analog({{0, 3}, {99, 5}});  // 99 is out of range: sampled, not stored
    Put(r.frequencyIds, r.frequencyCount, {203});
    engine->Merged().Publish(r);

    engine->RunCycle();
    EXPECT_EQ(RingFill(Shared().analogRing[0]), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Shared().analogRing[0].samples[i], 5.0F);
    EXPECT_EQ(engine->Sim().AnalogPhase(), 0.0F);
    EXPECT_EQ(Shared().frequencySlot[3].value, 1234.5F);
    EXPECT_EQ(Shared().frequencySlot[0].value, 0.0F);
}

TEST_F(Simulation, CountersCountHoldAndRestart) {
    AcqRequest r = EmptyRequest();
    Put(r.counterIds, r.counterCount, {301});
    engine->Merged().Publish(r);
    auto hold = [&](int32_t value) {
        BlockLock lock(block);
        Shared().counterHold[1] = value;
    };

    engine->RunCycle();
    EXPECT_EQ(Shared().counterValue[1], 1.0F);
    engine->RunCycle();
    EXPECT_EQ(Shared().counterValue[1], 2.0F);

    hold(1);
    engine->RunCycle();
    EXPECT_EQ(Shared().counterValue[1], 0.0F);

    hold(0);
    engine->RunCycle();
    EXPECT_EQ(Shared().counterValue[1], 1.0F);
}

// The pass on its own: ids outside 300..303 and 200..207 touch nothing.
TEST(SimulatedPassTest, IdsOutsideTheirRangesTouchNothing) {
    auto image = std::make_unique<SharedBlock>();
    InitBlockImage(*image);
    std::array<int32_t, kCounters> running{};
    StopFlag stop{0};
    std::atomic<int> kind{kKindIdle};
    CycleState cycle{*image, running, stop, kind};
    SimulatedPass sut;
    EXPECT_EQ(sut.SimulateCounterStart(304, cycle), 0);
    EXPECT_EQ(sut.SimulateCounterRead(299, cycle), 0.0F);
    sut.Board().simKind.store(boards::kSimFixed);
    sut.Board().simFrequency.store(7.0F);
    EXPECT_EQ(sut.SimulateFrequency(208, *image), 7.0F);
    EXPECT_EQ(running, (std::array<int32_t, kCounters>{}));
    for (int k = 0; k < kCounters; ++k) EXPECT_EQ(image->counterValue[k], 0.0F);
    for (int k = 0; k < kFrequencySlots; ++k) EXPECT_EQ(image->frequencySlot[k].value, 0.0F);
}

// An empty request: the eight frequency ids are -1, yet the waveform advances
// eight steps; an output request loops back to its input in the same cycle.
TEST_F(Simulation, EmptyRequestAdvancesTheFrequencyWaveAndLoopsOutputsBack) {
    engine->Sim().simFrequency.store(100.0F);
    block.Lock();
    Shared().digitalOutRequest[7] = 1;
    block.Unlock();
    engine->RunCycle();
    EXPECT_NEAR(engine->Sim().FrequencyPhase(), 8 * 0.005, 1e-6);
    EXPECT_EQ(Shared().frequencySlot[0].value, 0.0F);  // no slot written for -1
    EXPECT_EQ(Shared().digitalIn[7], 1);
    EXPECT_EQ(Shared().digitalIn[6], 0);
}

TEST_F(Simulation, OversizedSampleCountsAndCountsAreLimited) {
    AcqRequest r = EmptyRequest();
    r.analogCount = 1000;  // absurd: limited to the 16-entry list
    for (int i = 0; i < kMaxAnalogIds; ++i) {
        r.analogIds[i] = i;
        r.analogSamples[i] = 50000;  // above the 1,000-value buffer
    }
    engine->Merged().Publish(r);
    engine->RunCycle();
    for (int i = 0; i < kMaxAnalogIds; ++i)
        EXPECT_EQ(RingFill(Shared().analogRing[i]), 1000 % 1024);
    EXPECT_EQ(SamplesPerRead(-3), 10);
    EXPECT_EQ(SamplesPerRead(1001), 1000);
}

TEST_F(Simulation, SynchronousModeIdles) {
    engine->SetForceSim(0);  // configured mode is still 2
    EXPECT_EQ(engine->RunCycle(), 500);
    EXPECT_EQ(engine->AcquisitionActive(), 0);
    EXPECT_EQ(engine->AcquisitionKind(), kKindIdle);
}

}  // namespace
}  // namespace vantor::engine

namespace vantor::boards {
namespace {

// The batched phase walk must give exactly the phases of the step-by-step
// rule, for any batch size, across binades and the wrap at 3600; and the fast
// sine the float samples of the library sine over the whole wave.
TEST(SimulatedBoardPhase, BatchedWalkAndFastSineEqualTheWrittenFormulaOverAFullWrap) {
    SimulatedBoard sut;  // 88 V
    EXPECT_EQ(FastSine(1.0e6), std::sin(1.0e6));
    float reference = 0.0F;
    std::vector<float> batch(1000);
    const int sizes[] = {1, 10, 7, 1000, 333};
    long produced = 0;
    long mismatches = 0;
    for (int round = 0; produced < 1900000; ++round) {
        int n = sizes[round % 5];
        sut.Analog(batch.data(), n);
        for (int i = 0; i < n; ++i) {
            reference = static_cast<float>(static_cast<double>(reference) + 0.002);
            if (reference >= 3600.0F) reference = 0.0F;
            const auto expected =
                static_cast<float>(88.0F * std::sin(reference * 2.0 * 3.1415926 / 1524.0));
            if (batch[i] != expected) ++mismatches;
        }
        produced += n;
        ASSERT_EQ(sut.AnalogPhase(), reference) << "after " << produced << " samples";
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace vantor::boards

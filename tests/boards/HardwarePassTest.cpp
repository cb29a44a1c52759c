// The hardware pass on an emulated PCM 8605 (it has every kind of channel):
// what one pass reads into the block image and what it drives.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>

#include "boards/EmulatedBoard.h"
#include "emulation/Cards.h"
#include "engine/BoardPass.h"

namespace vantor::engine {
namespace {

constexpr int B = 0x300;

class HardwarePass : public test::EmulatedBoard {
protected:
    void SetUp() override {
        test::EmulatedBoard::SetUp();
        InitBlockImage(Image());
        card = static_cast<emulation::Pcm8605Card*>(&Card(0x25, B));
        pass = std::make_unique<BoardPass>(board);
        request = EmptyRequest();
    }
    void Run() { pass->Run(request, cycle); }
    void Counters(std::initializer_list<int> ids) {
        request.counterCount = static_cast<int32_t>(ids.size());
        int i = 0;
        for (int id : ids) request.counterIds[i++] = id;
    }

    SharedBlock& Image() { return *m_image; }

    std::unique_ptr<SharedBlock> m_image = std::make_unique<SharedBlock>();
    std::array<int32_t, kCounters> running{};
    StopFlag stop{0};
    std::atomic<int> kind{kKindIdle};
    CycleState cycle{*m_image, running, stop, kind};
    emulation::Pcm8605Card* card = nullptr;
    std::unique_ptr<BoardPass> pass;
    AcqRequest request{};
};

TEST_F(HardwarePass, EmptyRequestReadsInputsButDrivesNothing) {
    kind.store(kKindSimulated);
    card->SetDigitalIn(0x8005);
    Image().digitalOutRequest[2] = 1;  // requested in the block, listed by nobody
    Run();
    EXPECT_EQ(kind.load(), kKindSimulated);
    const SharedBlock& image = Image();
    EXPECT_EQ(image.digitalIn[0], 1);
    EXPECT_EQ(image.digitalIn[1], 0);
    EXPECT_EQ(image.digitalIn[2], 1);
    EXPECT_EQ(image.digitalIn[15], 1);
    EXPECT_TRUE(bus.Writes().empty());
}

TEST_F(HardwarePass, AnalogFrequencyAndOutputsLandWhereRequested) {
    card->SetVolts(4, 1.25);
    request.analogCount = 2;
    request.analogIds[0] = 4;
    request.analogSamples[0] = 0;  // 3 from the board
    request.analogIds[1] = 20;     // read, not stored
    request.analogSamples[1] = 5;
    request.frequencyCount = 2;
    request.frequencyIds[0] = 203;
    request.frequencyIds[1] = 250;  // skipped
    request.digitalOutCount = 2;
    request.digitalOutIds[0] = 3;
    request.digitalOutIds[1] = 16;  // skipped
    card->SetFrequency(4, 1000.0);
    Image().digitalOutRequest[3] = 1;

    Run();
    const SharedBlock& image = Image();
    EXPECT_EQ(kind.load(), kKindHardware);
    ASSERT_EQ(RingFill(image.analogRing[4]), 3);
    EXPECT_NEAR(image.analogRing[4].samples[2], 1.25F, 10.0F / 16383.0F);
    EXPECT_EQ(bus.WritesTo(B + 2), std::vector<uint8_t>(8, 4));  // ch 20 is 4 on this card
    EXPECT_FLOAT_EQ(image.frequencySlot[3].value, 1000.0F);
    EXPECT_EQ(bus.WritesTo(B + 12), std::vector<uint8_t>{3});  // input 4 selected
    EXPECT_EQ(bus.WritesTo(B + 4), std::vector<uint8_t>{0x08});
}

TEST_F(HardwarePass, HeldCounterReadsZeroWithItsGateClosed) {
    Counters({301});
    card->SetCounter(1, 500);
    Image().counterHold[1] = 1;
    running[1] = 1;
    Run();
    EXPECT_EQ(running[1], 0);
    EXPECT_EQ(Image().counterValue[1], 0.0F);
    EXPECT_EQ(bus.WritesTo(B + 24), std::vector<uint8_t>{0x00});
    EXPECT_TRUE(bus.WritesTo(B + 25).empty());  // never read
}

// Released with 0 (counter 2) restarts its gate once; with another value
// (counter 0) it runs without the gate step. Both are read in each pass.
TEST_F(HardwarePass, ReleasedCountersRunAndOnlyAZeroReleaseRestartsTheGate) {
    Counters({300, 302, 399});
    card->SetCounter(0, 77);
    card->SetCounter(2, 0x01020304);
    Image().counterHold[0] = 2;
    Run();
    Run();
    EXPECT_EQ(running[0], 1);
    EXPECT_EQ(running[2], 1);
    EXPECT_EQ(Image().counterValue[0], 77.0F);
    EXPECT_EQ(Image().counterValue[2], static_cast<float>(0x01020304));
    EXPECT_EQ(bus.WritesTo(B + 24), (std::vector<uint8_t>{0x00, 0x04}));
    EXPECT_EQ(bus.WritesTo(B + 25), (std::vector<uint8_t>{1, 3, 1, 3}));
}

TEST_F(HardwarePass, StopRequestEndsThePassBeforeTheNextChannel) {
    request.analogCount = 1;
    request.analogIds[0] = 0;
    stop.store(1);
    Run();
    EXPECT_TRUE(bus.Writes().empty());
    EXPECT_EQ(RingFill(Image().analogRing[0]), 0);
}

}  // namespace
}  // namespace vantor::engine

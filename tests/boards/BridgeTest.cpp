// The CH365 bridge path through the emulated bridge library, which this test
// process finds on its library path (set by the test's environment).
#include <gtest/gtest.h>

#include <array>

#include "boards/BoardProbe.h"
#include "boards/EmulatedBoard.h"
#include "emulation/Card.h"
#include "platform/DynamicLibrary.h"

namespace vantor::boards {
namespace {

constexpr int kIoBase = 0xE000;

// The emulated library's own hooks, reached through a handle of the test's.
struct Hooks {
    Hooks() : lib(platform::DynamicLibrary::Open(kCh365LibraryName).value()) {}
    emulation::IsaBus& Bus() {
        return *static_cast<emulation::IsaBus*>(lib.Function<void* (*)()>("Ch365EmulationBus")());
    }
    void FailOpen(bool fail) { lib.Function<void (*)(int32_t)>("Ch365EmulationFailOpen")(fail); }
    bool DeviceOpen() { return lib.Function<int32_t (*)()>("Ch365EmulationIsOpen")() != 0; }
    platform::DynamicLibrary lib;
};

class Bridge : public test::EmulatedBoard {
protected:
    void SetUp() override {
        test::EmulatedBoard::SetUp();
        hooks.FailOpen(false);
        bridge = &hooks.Bus();
        card = bridge->CardAt(kIoBase);
        ASSERT_NE(card, nullptr);
        bus.AddCard(0x24, 0x2E0);  // on the port driver's bus, never reached
    }
    std::vector<uint8_t> At(int offset) { return bridge->WritesTo(kIoBase + offset); }

    Hooks hooks;
    emulation::IsaBus* bridge = nullptr;
    emulation::Card* card = nullptr;
};

TEST(Ch365Binding, ResolvesTheNamesInOrderAndNeedsTheDriverVersion) {
    Ch365Library lib;
    ASSERT_TRUE(lib.Load());
    for (int i = 0; i < kCh365EntryPointCount; ++i)
        EXPECT_NE(lib.EntryPoint(i), nullptr) << kCh365EntryPoints[i];
    lib.Unload();
    EXPECT_EQ(lib.EntryPoint(0), nullptr);

    EXPECT_FALSE(lib.Load(VANTOR_BRIDGE_NODRV_DIR "/libch365.so"));
    EXPECT_FALSE(lib.Loaded());
}

TEST_F(Bridge, OpensThroughTheBridgeOrWithoutAValidDeviceThroughThePortDriver) {
    ASSERT_TRUE(board.OpenDevice());
    EXPECT_TRUE(board.BridgeLoaded());
    EXPECT_FALSE(board.PortDriverOpen());
    EXPECT_EQ(board.BridgeIoBase(), kIoBase);
    EXPECT_TRUE(hooks.DeviceOpen());
    EXPECT_EQ(board.ReadIdByte(0x701), 0x27);
    EXPECT_EQ(board.ReadIdByte(0x2E1), 0);  // ISA ports answer nothing now
    EXPECT_EQ(board.ReadByte(0x2E1), 0);
    board.WriteByte(0x2E2, 0x55);
    board.Configure(0x18, 0x300);  // only the bridge card can be configured
    EXPECT_EQ(board.TypeCode(), 0x18);
    EXPECT_EQ(board.Registers(), InitialRegisters());
    EXPECT_TRUE(bus.Writes().empty());
    EXPECT_EQ(bus.ReadCount(0x2E1), 0u);

    board.CloseDevice();
    EXPECT_FALSE(board.BridgeLoaded());
    EXPECT_FALSE(hooks.DeviceOpen());

    // An invalid device handle falls back to the port driver.
    hooks.FailOpen(true);
    ASSERT_TRUE(board.OpenDevice());
    EXPECT_FALSE(board.BridgeLoaded());
    EXPECT_TRUE(board.PortDriverOpen());
    EXPECT_EQ(board.ReadIdByte(0x2E1), 0x24);
    EXPECT_EQ(board.ReadIdByte(0x701), 0);
}

TEST_F(Bridge, ProbeFindsThePciCardAndConfigureInitialisesIt) {
    ASSERT_TRUE(board.OpenDevice());
    bridge->ClearLog();
    std::array<int, 6> bases{0x280, 0x2E0, 0x300, 0x310, 0x320, 0x700};
    ProbeResult r = ProbeBoard(board, bases);
    EXPECT_EQ(r.model, "PCI 8605");
    EXPECT_EQ(r.base, 0x700);
    EXPECT_EQ(board.TypeCode(), 0x27);
    EXPECT_EQ(At(0), std::vector<uint8_t>{0});
    EXPECT_EQ(At(3), (std::vector<uint8_t>{0, 1, 3}));
    EXPECT_EQ(At(11), (std::vector<uint8_t>{0, 1, 3}));
    EXPECT_EQ(At(31), (std::vector<uint8_t>{1, 0, 1}));
    EXPECT_EQ(board.Registers().freqStatus, 16);
    EXPECT_EQ(board.Registers().slot[kDigitalOutThird], 1);
}

TEST_F(Bridge, ChannelOperationsGoThroughTheBridge) {
    ASSERT_TRUE(board.OpenDevice());
    board.Configure(0x27, 0x700);
    bridge->ClearLog();

    float v[1];
    card->SetRaw(2, 0);
    card->SetRaw(9, 0xFFF);
    ASSERT_EQ(board.ReadAnalog(2, v, 1, 0), 0);
    EXPECT_FLOAT_EQ(v[0], 5.0F);
    EXPECT_EQ(At(2), std::vector<uint8_t>{0x4A});
    board.ReadAnalog(9, v, 1, 2);
    EXPECT_FLOAT_EQ(v[0], 5.0F - 4095.0F * 10.0F / 4096.0F);
    EXPECT_EQ(At(10), std::vector<uint8_t>{0x59});
    EXPECT_EQ(board.ReadAnalog(16, v, 1, 0), -1);

    card->SetDigitalIn(0x0100);
    EXPECT_EQ(board.ReadDigitalInput(8), 1);
    board.WriteDigitalOutput(3, 1);
    board.WriteDigitalOutput(17, 1);
    EXPECT_EQ(At(4), std::vector<uint8_t>{0x08});
    EXPECT_EQ(At(1), std::vector<uint8_t>{0x02});

    // Multi-byte counts are read byte by byte in a fixed order (offset 0
    // first, discarded): a count that moves between reads tears alike on every build.
    auto offsetsRead = [&] {
        std::vector<int> offsets;
        for (int port : bridge->Reads()) offsets.push_back(port - kIoBase);
        bridge->ClearLog();
        return offsets;
    };
    card->SetPeriodCount(1, 1000);
    card->SetPeriodCount(2, 4);
    bridge->ClearLog();
    EXPECT_FLOAT_EQ(board.ReadFrequency(1), 100000.0F);
    EXPECT_EQ(offsetsRead(), (std::vector<int>{0, 6, 7, 8}));
    EXPECT_FLOAT_EQ(board.ReadFrequency(2), 25000000.0F);
    EXPECT_EQ(offsetsRead(), (std::vector<int>{12, 13, 14}));

    card->SetCounter(1, 0x0304);
    EXPECT_EQ(board.ReadCounter(1), 0x0304);
    EXPECT_EQ(offsetsRead(), (std::vector<int>{24, 23}));  // high, then low
    board.ResetCounters();
    EXPECT_EQ(At(16), std::vector<uint8_t>{1});
    EXPECT_EQ(board.ReadCounter(1), 0);

    // The ISA-only operations do nothing through the bridge.
    board.EnableCounterGate(0);
    EXPECT_EQ(board.ReadGatedCounter(0), 0u);
    EXPECT_TRUE(bus.Writes().empty());
}

}  // namespace
}  // namespace vantor::boards

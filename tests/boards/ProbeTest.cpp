// Finding the card over the candidate bases, for the engine's bring-up and
// the main window's display probe.
#include <gtest/gtest.h>

#include <array>

#include "boards/BoardProbe.h"
#include "boards/EmulatedBoard.h"
#include "emulation/Card.h"

namespace vantor::boards {
namespace {

constexpr std::array<int, 6> kBases{0x280, 0x2E0, 0x300, 0x310, 0x320, 0x700};
using Probe = test::EmulatedBoard;

// The probe found model at base, with its type code and channel count.
void ExpectFound(const ProbeResult& r, const char* model, int base, int typeCode, int channels) {
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.model, model);
    EXPECT_EQ(r.base, base);
    EXPECT_EQ(r.typeCode, typeCode);
    EXPECT_EQ(r.channels, channels);
}

TEST_F(Probe, ForeignByteIsSkippedAndTheNextBoardIsFound) {
    bus.AddCard(0x26, 0x280);
    bus.AddCard(0x24, 0x2E0);
    ASSERT_TRUE(board.OpenDevice());
    ExpectFound(ProbeBoard(board, kBases), "PCM 8603", 0x2E0, 0x8603, 8);
    EXPECT_EQ(board.TypeCode(), 0x24);
    EXPECT_EQ(board.Registers().slot[kDigitalInLow], 0x2E4);
    EXPECT_EQ(bus.ReadCount(0x301), 0u);  // stopped at the hit
}

// 0x27 is the bridge card's byte: read through the port driver, without the
// bridge library, its register numbers would be system ports (1, 4, 5 ...).
TEST_F(Probe, BridgeCardByteWithoutTheBridgeIsNoBoardAndTouchesNoSystemPort) {
    bus.AddCard(std::make_unique<emulation::IdCard>(0x27, 0x280));
    ASSERT_TRUE(board.OpenDevice());
    board.Configure(0x27, 0x280);
    board.WriteDigitalOutput(3, 1);
    board.WriteDigitalOutput(17, 1);
    board.ReadDigitalInput(0);
    board.CloseDevice();

    DisplayProbeResult shown = DisplayProbe(board, kBases, false);
    EXPECT_EQ(shown.model, "SIM1 Hardware");
    EXPECT_TRUE(shown.simBoard);
    EXPECT_EQ(OpenAndProbe(board, kBases, false, false).path, BringUpPath::kNoBoard);
    for (int port = 0; port < 0x100; ++port) {
        EXPECT_EQ(bus.ReadCount(port), 0u) << port;
        EXPECT_TRUE(bus.WritesTo(port).empty()) << port;
    }
}

TEST_F(Probe, OnlyAnEchoFindsAPcl818AtItsBase) {
    bus.AddCard(0x88, 0x310);
    ASSERT_TRUE(board.OpenDevice());
    ExpectFound(ProbeBoard(board, kBases), "PCL-818", 0x310, 0x818, 16);
    EXPECT_EQ(board.TypeCode(), 0x88);
    // The echo was tried at each base up to the card's, and at none after.
    for (int base : {0x280, 0x2E0, 0x300, 0x310})
        EXPECT_EQ(bus.WritesTo(base + 2), std::vector<uint8_t>{0x55}) << std::hex << base;
    EXPECT_TRUE(bus.WritesTo(0x322).empty());
}

TEST_F(Probe, BringUpKeepsTheBoardOpenUnlessSimulationIsForcedOrItCannotOpen) {
    bus.AddCard(0x1A, 0x300);  // answers nothing a probe knows
    BringUpResult none = OpenAndProbe(board, kBases, false, false);
    EXPECT_EQ(none.path, BringUpPath::kNoBoard);
    EXPECT_FALSE(none.probe.found);
    EXPECT_EQ(board.IsOpen(), 1);
    board.CloseDevice();

    bus.AddCard(0x24, 0x2E0);
    BringUpResult forced = OpenAndProbe(board, kBases, false, true);
    EXPECT_EQ(forced.path, BringUpPath::kSimulation);
    EXPECT_EQ(board.IsOpen(), 0);
    EXPECT_FALSE(bus.Claimed());

    BringUpResult found = OpenAndProbe(board, kBases, true, false);
    EXPECT_EQ(found.path, BringUpPath::kBoard);
    EXPECT_EQ(found.probe.model, "PCM 8603");
    // ENC3: the separate counter card is set up and its counters reset first.
    EXPECT_EQ(board.Enc3Configured(), 1);
    EXPECT_EQ(bus.WritesTo(0x240), (std::vector<uint8_t>{6, 7}));

    board.CloseDevice();
    board.SetPortDevice("/nonexistent/port");
    EXPECT_EQ(OpenAndProbe(board, kBases, false, false).path, BringUpPath::kSimulation);
}

TEST_F(Probe, DisplayProbeNamesTheModelAndClosesTheBoard) {
    DisplayProbeResult none = DisplayProbe(board, kBases, false);
    EXPECT_EQ(none.model, "SIM1 Hardware");
    EXPECT_TRUE(none.simBoard);
    EXPECT_FALSE(none.switchToAsync);

    bus.AddCard(0x25, 0x320);
    DisplayProbeResult found = DisplayProbe(board, kBases, false);
    EXPECT_EQ(found.model, "PCM 8605");
    EXPECT_FALSE(found.simBoard);
    EXPECT_EQ(board.IsOpen(), 0);

    DisplayProbeResult forced = DisplayProbe(board, kBases, true);
    EXPECT_EQ(forced.model, "SIM Hardware");
    EXPECT_TRUE(forced.simBoard);
    EXPECT_TRUE(forced.switchToAsync);
    EXPECT_EQ(board.IsOpen(), 0);

    board.SetPortDevice("/nonexistent/port");
    EXPECT_EQ(DisplayProbe(board, kBases, false).model, "SIM Hardware");
}

}  // namespace
}  // namespace vantor::boards

// Board access: open paths, identification reads, register maps, and the
// closed board that does nothing.
#include <gtest/gtest.h>

#include "boards/Board.h"
#include "boards/EmulatedBoard.h"
#include "emulation/Cards.h"

namespace vantor::boards {
namespace {

using BoardAccess = test::EmulatedBoard;

// Whether configuring typeCode at base leaves the board's register map as it was.
bool KeepsTheMap(Board& board, uint8_t typeCode, int base) {
    const BoardRegisters before = board.Registers();
    board.Configure(typeCode, base);
    return board.Registers() == before;
}

TEST_F(BoardAccess, OpensOnceThroughThePortDriverWithoutABridgeLibrary) {
    EXPECT_TRUE(board.OpenDevice());
    EXPECT_EQ(board.IsOpen(), 1);
    EXPECT_FALSE(board.BridgeLoaded());
    EXPECT_TRUE(board.PortDriverOpen());
    EXPECT_FALSE(board.OpenDevice());  // already open: callers close first
    EXPECT_EQ(board.IsOpen(), 1);
    board.CloseDevice();
    EXPECT_EQ(board.IsOpen(), 0);
    EXPECT_FALSE(board.PortDriverOpen());
    EXPECT_FALSE(bus.Claimed());
    EXPECT_TRUE(board.OpenDevice());  // again after closing
}

TEST_F(BoardAccess, FailedOpenLeavesTheBoardClosed) {
    board.SetPortDevice("/nonexistent/port");
    EXPECT_FALSE(board.OpenDevice());
    EXPECT_EQ(board.IsOpen(), 0);
}

TEST_F(BoardAccess, ClosedBoardTouchesNoRegisterAndKeepsItsType) {
    bus.AddCard(0x24, 0x2E0).SetDigitalIn(0xFFFF);
    float buffer[2] = {7.0F, 7.0F};
    board.Configure(0x24, 0x2E0);
    EXPECT_EQ(board.TypeCode(), 0x18);
    EXPECT_EQ(board.Registers(), InitialRegisters());
    EXPECT_EQ(board.ReadIdByte(0x2E1), 0);
    EXPECT_EQ(board.ReadAnalog(0, buffer, 2, 0), 0);
    EXPECT_EQ(buffer[0], 7.0F);
    EXPECT_EQ(board.ReadDigitalInput(0), 0);
    board.WriteDigitalOutput(0, 1);
    EXPECT_EQ(board.ShadowLow(), 0);
    EXPECT_EQ(board.ReadFrequency(1), 0.0F);
    EXPECT_EQ(board.ReadCounter(0), 0);
    board.ResetCounters();
    EXPECT_EQ(board.ReadByte(0x2E1), 0);
    EXPECT_TRUE(bus.Writes().empty());
    EXPECT_EQ(bus.ReadCount(0x2E1) + bus.ReadCount(0x2E4), 0u);
}

TEST_F(BoardAccess, IdentificationByteRoutesPort0x701ToTheBridgeOnly) {
    bus.AddCard(0x24, 0x2E0);
    bus.AddCard(0x23, 0x700);  // never reached: 0x701 is the bridge card's
    ASSERT_TRUE(board.OpenDevice());
    EXPECT_EQ(board.ReadIdByte(0x2E1), 0x24);
    EXPECT_EQ(board.ReadIdByte(0x102E1), 0x24);  // taken as 16 bits
    EXPECT_EQ(board.ReadIdByte(0x701), 0);
    EXPECT_EQ(board.ReadIdByte(0x281), 0xFF);  // nothing there
}

TEST_F(BoardAccess, TypesWithoutAMapChangeOnlyTheTypeCode) {
    ASSERT_TRUE(board.OpenDevice());
    board.Configure(0x21, 0x300);
    EXPECT_TRUE(KeepsTheMap(board, 0x19, 0x280));
    EXPECT_EQ(board.TypeCode(), 0x19);
    EXPECT_TRUE(KeepsTheMap(board, 0x26, 0x280));
}

TEST_F(BoardAccess, Pcl818RegistersStayAt0x300WhateverTheBase) {
    ASSERT_TRUE(board.OpenDevice());
    board.Configure(0x88, 0x2E0);
    const auto& s = board.Registers().slot;
    EXPECT_EQ(s[kDigitalInHigh], 0x30B);
    EXPECT_EQ(s[kDigitalInLow], 0x303);
    EXPECT_EQ(s[kDigitalOutLow], 0x303);
    EXPECT_EQ(s[kConverter0High], 0x301);
    EXPECT_EQ(s[kConverter0Low], 0x300);
    EXPECT_EQ(s[kExtraOutput], 0x308);
    EXPECT_EQ(s[kConverterStatus], 0x309);
    EXPECT_EQ(s[kDigitalOutThird], kNoRegister);  // unchanged from the start
    EXPECT_EQ(Pcl818MuxRegister(), 0x302);
}

TEST_F(BoardAccess, EachTypeMapsItsRegistersFromTheBase) {
    ASSERT_TRUE(board.OpenDevice());
    board.Configure(0x25, 0x200);
    const BoardRegisters& r = board.Registers();
    EXPECT_EQ(r.slot[kDigitalOutThird], 0x20D);
    EXPECT_EQ(r.slot[kConverterStatus], 0x320);  // 0x25 keeps the previous status port
    EXPECT_EQ(r.frequency, (std::array<int32_t, 6>{0x206, 0x207, 0x208, 0x21A, 0x20D, 0x20C}));
    EXPECT_EQ(r.freqStatus, 0x216);
    EXPECT_EQ(r.gateData, (std::array<int32_t, 4>{0x21B, 0x21C, 0x21D, 0x21E}));
    // Type 0x25's initialisation pulses converter 0 high.
    EXPECT_EQ(bus.WritesTo(0x203), (std::vector<uint8_t>{0, 1}));

    board.Configure(0x24, 0x2E0);
    EXPECT_EQ(r.slot[kDigitalInLow], 0x2E4);
    EXPECT_EQ(r.slot[ConverterHighSlot(2)], 0x2ED);
    EXPECT_EQ(r.slot[ConverterHighSlot(3)], 0x320 + 15);  // unchanged: no group 3
    EXPECT_EQ(r.counterResetB, 0x2EE);

    // Without the bridge library, type 0x27 gets its offsets but no
    // initialisation (nothing to send it through).
    bus.ClearLog();
    board.Configure(0x27, 0x700);
    EXPECT_EQ(r.freqStatus, 16);
    EXPECT_EQ(r.slot[kDigitalOutThird], 1);
    EXPECT_TRUE(bus.Writes().empty());
}

TEST_F(BoardAccess, TypeZeroSetsUpOnlyTheSeparateCounterCard) {
    ASSERT_TRUE(board.OpenDevice());
    board.Configure(0x18, 0x300);
    EXPECT_TRUE(KeepsTheMap(board, 0, 0));
    EXPECT_EQ(board.Enc3Configured(), 1);
}

}  // namespace
}  // namespace vantor::boards

// Board access: open paths, identification reads, register maps, and the
// closed board that does nothing.
#include <gtest/gtest.h>

#include "boards/Board.h"
#include "boards/EmulatedBoard.h"
#include "emulation/Cards.h"

namespace vantor::boards {
namespace {

using BoardAccess = test::EmulatedBoard;

TEST_F(BoardAccess, OpensOnceThroughThePortDriverWithoutABridgeLibrary) {
    EXPECT_TRUE(board.OpenDevice());
    EXPECT_EQ(board.IsOpen(), 1);
    EXPECT_FALSE(board.BridgeLoaded());
    EXPECT_TRUE(board.PortDriverOpen());
    EXPECT_FALSE(board.OpenDevice());  // already open: callers close first
    board.CloseDevice();
    EXPECT_EQ(board.IsOpen(), 0);
    EXPECT_FALSE(board.PortDriverOpen());
    EXPECT_FALSE(bus.Claimed());
    EXPECT_TRUE(board.OpenDevice());  // again after closing
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

TEST_F(BoardAccess, Pcl818RegistersStayAt0x300WhateverTheBase) {
    ASSERT_TRUE(board.OpenDevice());
    board.Configure(0x88, 0x2E0);
    const auto& s = board.Registers().slot;
    EXPECT_EQ(s[kDigitalInHigh], 0x30B);
    EXPECT_EQ(s[kDigitalInLow], 0x303);
    EXPECT_EQ(s[kDigitalOutLow], 0x303);
    EXPECT_EQ(s[kConverter0High], 0x301);
    EXPECT_EQ(s[kConverterStatus], 0x309);
    EXPECT_EQ(board.Pcl818MuxRegister(), 0x302);
}

TEST_F(BoardAccess, ConfigureInitialisesOnlyThroughAReachableCard) {
    ASSERT_TRUE(board.OpenDevice());
    board.Configure(0x25, 0x200);
    EXPECT_EQ(board.Registers().slot[kConverterStatus], 0x320);  // 0x25 keeps the previous one
    // Type 0x25's initialisation pulses converter 0 high.
    EXPECT_EQ(bus.WritesTo(0x203), (std::vector<uint8_t>{0, 1}));
    // Without the bridge library, type 0x27 keeps the map and sends nothing.
    bus.ClearLog();
    const BoardRegisters before = board.Registers();
    board.Configure(0x27, 0x700);
    EXPECT_EQ(board.TypeCode(), 0x27);
    EXPECT_EQ(board.Registers(), before);
    EXPECT_TRUE(bus.Writes().empty());
}

}  // namespace
}  // namespace vantor::boards

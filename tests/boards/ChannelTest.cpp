// The board at register level against the emulated cards: channel
// operations, and access itself.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <memory>

#include "boards/EmulatedBoard.h"
#include "emulation/Cards.h"

namespace vantor::boards {
namespace {

constexpr int B = 0x2E0;

class Channels : public test::EmulatedBoard {
protected:
    // One sample of channel after the card's code on it is set to raw.
    float Volts(emulation::Card& card, int channel, uint16_t raw, int option = 0) {
        card.SetRaw(channel, raw);
        float v = 0;
        EXPECT_EQ(board.ReadAnalog(channel, &v, 1, option), 0);
        return v;
    }
};

TEST_F(Channels, MultiplexedCardReadsTwosComplementCodesAsVolts) {
    emulation::Card& card = Card(0x18, B);
    EXPECT_FLOAT_EQ(Volts(card, 2, 0x000), 0.0F);
    EXPECT_FLOAT_EQ(Volts(card, 2, 0x7FF), 5.0F - 10.0F / 4096.0F);
    EXPECT_FLOAT_EQ(Volts(card, 2, 0x800), -5.0F);
    // Option 2 is the ±10 V range with its own control byte.
    bus.ClearLog();
    EXPECT_FLOAT_EQ(Volts(card, 2, 0x7FF, 2), 10.0F - 20.0F / 4096.0F);
    EXPECT_EQ(bus.WritesTo(B + 2), std::vector<uint8_t>{0x5A});

    // One conversion per sample.
    float v[3] = {};
    card.SetVolts(2, 1.25);
    bus.ClearLog();
    board.ReadAnalog(2, v, 3, 0);
    EXPECT_EQ(bus.WritesTo(B + 2), (std::vector<uint8_t>{0x4A, 0x4A, 0x4A}));
    for (float s : v) EXPECT_NEAR(s, 1.25F, 10.0F / 4096.0F);
}

TEST_F(Channels, ChannelOutsideTheTypesRangeIsRefusedAndTheBufferKept) {
    Card(0x18, B);
    float v[1] = {42.0F};
    EXPECT_EQ(board.ReadAnalog(32, v, 1, 0), -1);
    EXPECT_EQ(board.ReadAnalog(-1, v, 1, 0), -1);
    board.Configure(0x88, B);
    EXPECT_EQ(board.ReadAnalog(9, v, 1, 0), -1);
    EXPECT_EQ(v[0], 42.0F);
    EXPECT_TRUE(bus.Writes().empty());
}

// The poll ends on the group's own ready bit: one busy read, one ready read.
TEST_F(Channels, EachConverterGroupEndsItsPollOnItsOwnReadyBit) {
    emulation::Card& card = Card(0x21, B);
    float v[1];
    for (int channel : {0, 8, 16, 24}) {
        card.SetRaw(channel, 0x123);
        bus.ClearLog();
        board.ReadAnalog(channel, v, 1, 0);
        EXPECT_EQ(bus.ReadCount(B), 2u) << "channel " << channel;
        EXPECT_FLOAT_EQ(v[0], 10.0F * (0x123 ^ 0x800) / 4096.0F - 5.0F) << channel;
    }
    board.CloseDevice();
    bus.AddCard(0x24, 0x300);
    ASSERT_TRUE(board.OpenDevice());
    board.Configure(0x24, 0x300);
    bus.ClearLog();
    board.ReadAnalog(3, v, 1, 0);
    EXPECT_EQ(bus.ReadCount(0x300), 2u);  // type 0x24: bit 0
}

TEST_F(Channels, ConverterThatNeverFinishesIsReadAfterTheLastPollOrAtAStop) {
    emulation::Card& card = Card(0x18, B);
    card.SetBusyPolls(-1);
    card.SetRaw(1, 0x7FF);
    float v[2] = {};
    board.ReadAnalog(1, v, 2, 0);
    EXPECT_EQ(bus.ReadCount(B), 2u * kReadyPolls);
    EXPECT_FLOAT_EQ(v[1], 5.0F - 10.0F / 4096.0F);

    std::atomic<int> stop{1};
    board.SetStopFlag(&stop);
    bus.ClearLog();
    board.ReadAnalog(1, v, 2, 0);
    EXPECT_EQ(bus.ReadCount(B), 0u);
    EXPECT_EQ(bus.ReadCount(B + 2), 2u);  // the samples are still taken
}

TEST_F(Channels, Pcl818ProgramsTheMultiplexerAndReadsOffsetBinary) {
    emulation::Card& card = Card(0x88, 0x300);
    EXPECT_FLOAT_EQ(Volts(card, 5, 0x800), 0.0F);
    EXPECT_EQ(bus.WritesTo(0x302), std::vector<uint8_t>{0x55});
    EXPECT_EQ(bus.WritesTo(0x301), std::vector<uint8_t>{0});             // gain
    EXPECT_EQ(bus.WritesTo(0x300), std::vector<uint8_t>{0x03 & ~0x02});  // trigger from control
    EXPECT_EQ(bus.ReadCount(0x308), 2u);
    EXPECT_FLOAT_EQ(Volts(card, 8, 0x000), -5.0F);
    EXPECT_FLOAT_EQ(Volts(card, 8, 0xFFF), 5.0F - 10.0F / 4096.0F);
}

TEST_F(Channels, Pcm8605ReadsFourteenBitCodesWithZeroAtPlusFive) {
    emulation::Card& card = Card(0x25, B);
    float v[1];
    card.SetRaw(3, 0);
    board.ReadAnalog(0x13, v, 1, 2);  // channel taken modulo 16, option ignored
    EXPECT_FLOAT_EQ(v[0], 5.0F);
    EXPECT_EQ(bus.WritesTo(B + 2), std::vector<uint8_t>{3});
    EXPECT_FLOAT_EQ(Volts(card, 3, 16383), -5.0F);
    card.SetVolts(4, -2.5);
    board.ReadAnalog(4, v, 1, 0);
    EXPECT_NEAR(v[0], -2.5F, 10.0F / 16383.0F);
}

TEST_F(Channels, OutputLinesUpdateTheirShadowAndWriteOnlyTheirPort) {
    Card(0x18, B);
    board.WriteDigitalOutput(3, 1);
    board.WriteDigitalOutput(5, 1);
    EXPECT_EQ(bus.WritesTo(B + 4), (std::vector<uint8_t>{0x08, 0x28}));
    board.WriteDigitalOutput(3, 2);  // anything but 1 is low
    EXPECT_EQ(bus.WritesTo(B + 4).back(), 0x20);
    board.WriteDigitalOutput(9, 1);
    board.WriteDigitalOutput(17, 1);  // third port, its own image
    board.WriteDigitalOutput(16, 0);
    EXPECT_EQ(bus.WritesTo(B + 5), std::vector<uint8_t>{0x02});
    EXPECT_EQ(bus.WritesTo(B + 1), (std::vector<uint8_t>{0x02, 0x02}));
    EXPECT_EQ(board.ShadowHigh(), 0x02);
    board.WriteDigitalOutput(24, 1);
    board.WriteDigitalOutput(-1, 1);
    EXPECT_EQ(bus.Writes().size(), 6u);
}

TEST_F(Channels, InputLinesAreBitsOfTheTwoInputPorts) {
    Card(0x23, B).SetDigitalIn(0x8001);
    EXPECT_EQ(board.ReadDigitalInput(0), 1);
    EXPECT_EQ(board.ReadDigitalInput(1), 0);
    EXPECT_EQ(board.ReadDigitalInput(15), 1);
    EXPECT_EQ(board.ReadDigitalInput(8), 0);
    EXPECT_EQ(board.ReadDigitalInput(16), 0);
    EXPECT_EQ(bus.ReadCount(B + 4), 2u);  // type 0x23: inputs at b+4, b+5
    EXPECT_EQ(bus.ReadCount(B + 5), 2u);
}

TEST_F(Channels, FrequencyArithmeticPerType) {
    // A type 0x18 board at 0x320 reads frequency 1 from 0x326-0x328, which
    // are that card's input ports.
    emulation::Card& c18 = Card(0x18, 0x320);
    c18.SetDigitalIn(0x0003);
    EXPECT_EQ(board.ReadFrequency(1), 333332.0F);
    c18.SetDigitalIn(0);
    EXPECT_EQ(board.ReadFrequency(1), 0.0F);  // no pulse: never divided by
    EXPECT_EQ(board.ReadFrequency(2), 0.0F);  // no frequency 2 registers

    emulation::Card& c23 = bus.AddCard(0x23, B);
    board.Configure(0x23, B);
    c23.SetPeriodCount(1, 7);
    EXPECT_EQ(board.ReadFrequency(1), 714284.0F);  // (5e6 / 7) / 2 * 2

    auto& c24 = static_cast<emulation::MultiplexedCard&>(bus.AddCard(0x24, 0x300));
    board.Configure(0x24, 0x300);
    c24.SetPeriodCount(1, 1000);
    EXPECT_EQ(board.ReadFrequency(3), 5000.0F);  // frequency 1 whatever the input
    c24.SetPeriodReady(false);
    EXPECT_EQ(board.ReadFrequency(1), 0.0F);

    emulation::Card& c25 = bus.AddCard(0x25, 0x200);
    board.Configure(0x25, 0x200);
    c25.SetPeriodCount(3, 0x01000000);  // byte 3 comes from b+26
    bus.ClearLog();
    EXPECT_FLOAT_EQ(board.ReadFrequency(3), 40000000.0F / 0x01000000);
    EXPECT_EQ(bus.Reads(), (std::deque<int>{0x206, 0x207, 0x208, 0x21A}));  // byte 0 first
    EXPECT_EQ(bus.WritesTo(0x20C), std::vector<uint8_t>{2});
    c25.SetFrequency(1, 50.0);
    EXPECT_FLOAT_EQ(board.ReadFrequency(1), 50.0F);
}

TEST_F(Channels, EncoderCountersAndTheirResetPerType) {
    Card(0x18, B);
    EXPECT_EQ(board.ReadCounter(0), -1);

    emulation::Card& c24 = bus.AddCard(0x24, 0x300);
    board.Configure(0x24, 0x300);
    c24.SetCounter(0, 0x1234);
    c24.SetCounter(1, 0xBEEF);
    EXPECT_EQ(board.ReadCounter(0), 0x1234);
    EXPECT_EQ(board.ReadCounter(1), 0xBEEF);
    EXPECT_EQ(board.ReadCounter(2), -1);
    board.ResetCounters();
    EXPECT_EQ(board.ReadCounter(1), 0);
    EXPECT_EQ(bus.WritesTo(0x306), std::vector<uint8_t>{1});
    EXPECT_EQ(bus.WritesTo(0x30E), std::vector<uint8_t>{1});

    emulation::Card& c25 = bus.AddCard(0x25, 0x200);
    board.Configure(0x25, 0x200);
    c25.SetCounter(1, 0x0A0B);
    EXPECT_EQ(board.ReadCounter(1), 0x0A0B);
    board.ResetCounters();
    EXPECT_EQ(bus.WritesTo(0x216), (std::vector<uint8_t>{0, 1, 0}));
    EXPECT_EQ(board.ReadCounter(1), 0);
}

TEST_F(Channels, SeparateCounterCardIsReadThroughItsControlBytes) {
    Card(0x18, B);
    emulation::Card& enc = bus.AddCard(std::make_unique<emulation::Enc3Card>());
    board.Configure(0, 0);
    board.ResetCounters();
    EXPECT_EQ(bus.WritesTo(0x240), (std::vector<uint8_t>{6, 7}));
    enc.SetCounter(1, 0x1234);
    EXPECT_EQ(board.ReadCounter(1), 0x1234);
    // Low select, high select, run: 7 & 0xF9 = 1, then 5, then 7.
    EXPECT_EQ(bus.WritesTo(0x241), (std::vector<uint8_t>{6, 7, 1, 5, 7}));
}

TEST_F(Channels, GatedCountersShareTheBoardsGateByte) {
    emulation::Card& card = Card(0x25, B);
    board.EnableCounterGate(1);
    board.EnableCounterGate(3);
    board.DisableCounterGate(1);
    board.EnableCounterGate(9);
    board.DisableCounterGate(-1);
    EXPECT_EQ(bus.WritesTo(B + 24), (std::vector<uint8_t>{0x02, 0x0A, 0x08, 0x0F, 0x00}));
    card.SetCounter(2, 0x89ABCDEF);
    EXPECT_EQ(board.ReadGatedCounter(2), 0x89ABCDEFu);
    EXPECT_EQ(bus.WritesTo(B + 25), std::vector<uint8_t>{3});
    // Another board keeps a gate byte of its own.
    Board other;
    other.EnableCounterGate(0);
    EXPECT_EQ(other.CounterGateByte(), 0x01);
    EXPECT_EQ(board.CounterGateByte(), 0x00);
}

// Board access: open paths, identification reads, register maps, and the
// closed board that does nothing.
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

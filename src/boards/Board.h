#pragma once
// One data-acquisition card: how to open it (through the CH365 bridge library
// or the port driver), single register bytes, and, once Configure has been
// told its type code and base, where each functional register lies. The
// channel operations turn those registers into channel values.
//
// A Board has no lock: its owner uses it from one thread at a time (the
// engine's board from the acquisition thread while that runs). Every
// operation except the constructor, OpenDevice, IsOpen, ReadByte, WriteByte
// and the gate operations does nothing (returns 0) while the board is closed.
// Every wait is bounded: a converter poll ends after kReadyPolls reads, or at
// once when the stop flag reads 1.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "boards/Ch365Library.h"
#include "boards/PortDriver.h"
#include "boards/RegisterMap.h"

namespace vantor::boards {

constexpr int kReadyPolls = 3000;
constexpr int kBridgePseudoBase = 0x700;
constexpr int kBridgeIdPort = kBridgePseudoBase + 1;

class Board {
public:
    // The two bytes of shadows preset the output shadows of lines 0-7 and 8-15.
    explicit Board(int shadows = 0);
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    // --- access --------------------------------------------------------------
    // Opens the card if it is not open: the bridge when its library loads and
    // a bridge device opens, else the port driver. false when it was already
    // open or neither path opened.
    bool OpenDevice();
    void CloseDevice();
    int IsOpen() const { return m_isOpen; }
    // The identification byte; port 0x701 is the bridge card's.
    uint8_t ReadIdByte(int port);
    // One port byte through the port driver (0 / nothing without it).
    uint8_t ReadByte(int port);
    void WriteByte(int port, uint8_t value);
    // Stores the type code and sets its register map.
    void Configure(uint8_t typeCode, int base);

    // --- channel operations --------------------------------------------------
    // count samples of a channel, in volts: 0 done (or closed), -1 channel out
    // of range for the type. option 2 selects ±10 V, anything else ±5 V.
    int ReadAnalog(int channel, float* buffer, int count, int option);
    // 1 high, 0 low (or closed, or a line outside 0..15).
    int ReadDigitalInput(int line);
    // Lines 0..23; level 1 is high, anything else low.
    void WriteDigitalOutput(int line, int level);
    // Frequency of input 1..4 (0.0 for no pulse, or no measurement).
    float ReadFrequency(int input);
    // Encoder counter 0 or 1; -1 for a type without counters.
    int32_t ReadCounter(int counter);
    void ResetCounters();
    // Gate bits of the four gated counters (any n outside 0..3: all four).
    void EnableCounterGate(int n);
    void DisableCounterGate(int n);
    uint32_t ReadGatedCounter(int n);

    // --- setup and inspection --------------------------------------------------
    // The port device for the next open; "" means $VANTOR_PORT_DEVICE or
    // /dev/port.
    void SetPortDevice(std::string device) { m_portDevice = std::move(device); }
    // A flag that, reading 1, ends converter polls at once.
    void SetStopFlag(const std::atomic<int>* flag) { m_stop = flag; }

    // Port transfers that failed on this board (the card did not answer):
    // a reading taken across a change of this count is no reading.
    uint64_t FailedTransfers() const { return m_failed; }
    // How the port driver's backend fares: lost while the card does not
    // answer. Unlike the rest, callable from another thread while the board
    // is in use, as long as that thread is the one that opens and closes it.
    PortLinkState PortLink() const;

    uint8_t TypeCode() const { return m_typeCode; }
    const BoardRegisters& Registers() const { return m_regs; }
    bool BridgeLoaded() const { return m_bridge.Loaded(); }
    int32_t BridgeIoBase() const { return m_bridgeIoBase; }
    bool PortDriverOpen() const { return m_port != nullptr; }
    int Enc3Configured() const { return m_enc3Configured; }
    uint8_t ShadowLow() const { return m_doShadowLow; }
    uint8_t ShadowHigh() const { return m_doShadowHigh; }
    uint8_t ShadowThird() const { return m_doShadowThird; }
    // The PCL-818 multiplexer register and gain code (set by Configure for
    // type 0x88) and the gate byte of the gated counters.
    int32_t Pcl818MuxRegister() const { return m_pcl818Mux; }
    uint8_t Pcl818GainCode() const { return m_pcl818Gain; }
    uint8_t CounterGateByte() const { return m_gateByte; }

private:
    // Port driver bytes (register kNoRegister: 0 / nothing).
    uint8_t In(int32_t reg);
    void Out(int32_t reg, uint8_t value);
    // Bridge bytes at bridgeIoBase + offset.
    uint8_t BridgeIn(int32_t offset);
    void BridgeOut(int32_t offset, uint8_t value);
    // Either, by the path the board is open through.
    uint8_t Rd(int32_t reg) { return BridgeLoaded() ? BridgeIn(reg) : In(reg); }
    void Wr(int32_t reg, uint8_t value) {
        BridgeLoaded() ? BridgeOut(reg, value) : Out(reg, value);
    }
    bool StopRequested() const { return m_stop != nullptr && m_stop->load() == 1; }
    void InitBridgeCard();
    int AnalogMultiplexed(int channel, float* buffer, int count, int option);
    int AnalogPcl818(int channel, float* buffer, int count, int option);
    int AnalogPcm8605(int channel, float* buffer, int count);
    int AnalogPci(int channel, float* buffer, int count, int option);
    // Three count bytes, byte 0 first, through the port driver or the bridge.
    uint32_t ReadCount24(int32_t b0, int32_t b1, int32_t b2);
    uint32_t BridgeCount24(int32_t b0, int32_t b1, int32_t b2);

    BoardRegisters m_regs;
    uint8_t m_doShadowLow;
    uint8_t m_doShadowHigh;
    uint8_t m_doShadowThird = 0;  // lines 16-23 keep an image of their own
    std::array<uint8_t, 2> m_enc3Control{};
    int32_t m_pcl818Mux = kNoRegister;
    uint8_t m_pcl818Gain = 0;
    uint8_t m_gateByte = 0;  // one enable bit per gated counter
    std::unique_ptr<PortHandle> m_port;
    uint64_t m_failed = 0;
    int m_enc3Configured = 0;
    uint8_t m_typeCode = 0x18;
    int m_isOpen = 0;
    Ch365Library m_bridge;
    int32_t m_bridgeIoBase = 0;
    uint32_t m_bridgeDevice = 0;
    std::string m_portDevice;
    const std::atomic<int>* m_stop = nullptr;
};

}  // namespace vantor::boards

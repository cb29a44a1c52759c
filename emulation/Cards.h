#pragma once
// Register-level models of the supported cards.
#include <array>
#include <cstdint>
#include <optional>

#include "emulation/Card.h"

namespace vantor::emulation {

// The multiplexed cards 0x18 (8 channels), 0x21 (32), 0x23 (16) and 0x24 (8):
// status at base, converter groups at +2/+3, +10/+11, +12/+13, +14/+15 (low,
// high), outputs at +4, +5 and +1. The high byte carries the channel in its
// upper nibble, as the cards deliver it.
class MultiplexedCard : public Card {
public:
    MultiplexedCard(uint8_t id, int base);
    uint8_t Read(int offset) override;
    void Write(int offset, uint8_t value) override;
    void SetFrequency(int input, double hz) override;
    // Type 0x24: bit 0 of the status at +15 (a period measured).
    void SetPeriodReady(bool ready) { m_periodReady = ready; }

private:
    int GroupOfLow(int offset) const;  // -1 when offset is no group's low byte
    int GroupOfHigh(int offset) const;
    uint8_t Status();
    // The counter and period bytes that types 0x23 and 0x24 show in place of
    // converters; nullopt for any other slot.
    std::optional<uint8_t> CounterSlot(int offset) const;

    int m_groups;
    uint8_t m_group0Ready;
    int m_diLow;
    std::array<uint8_t, 4> m_mux{};
    std::array<int, 4> m_busy{};
    bool m_periodReady = true;
};

// Type 0x25, PCM 8605: 14-bit converter without a ready flag (code 0 is
// +5 V), frequency select at +12 with 32-bit period counts, encoder counters
// at +22..+25, four gated 32-bit counters (gate +24, select +25, data
// +27..+30).
class Pcm8605Card : public Card {
public:
    explicit Pcm8605Card(int base) : Card(0x25, base, 32, {4, 5, 13}) {}
    uint8_t Read(int offset) override;
    void Write(int offset, uint8_t value) override;
    void SetVolts(int channel, double volts) override;
    void SetFrequency(int input, double hz) override;
    void SetCounter(int n, uint32_t value) override;
    uint8_t Gate() const { return m_gate; }

private:
    uint8_t m_mux = 0;
    uint8_t m_freqSelect = 0;
    uint8_t m_gate = 0;
    uint8_t m_gateSelect = 0;
    uint8_t m_status = 0;
    std::array<uint16_t, 2> m_encoder{};
};

// PCL-818: no identification byte; the multiplexer register at +2 reads back
// what was written (the echo of the write-read probe). Offset-binary 12-bit
// codes, done flag bit 4 of the status at +8, control at +9, digital ports at
// +3 and +11.
class Pcl818Card : public Card {
public:
    explicit Pcl818Card(int base) : Card(0x88, base, 16, {3, 11}) {}
    uint8_t Read(int offset) override;
    void Write(int offset, uint8_t value) override;
    void SetVolts(int channel, double volts) override;
    uint8_t Gain() const { return m_gain; }

private:
    uint8_t m_mux = 0;
    uint8_t m_gain = 0;
    uint8_t m_control = 0x03;
    int m_busy = 0;
    uint16_t m_last = 0;
    uint8_t m_lastChannel = 0;
};

// Type 0x27, PCI 8605 behind the CH365 bridge; offsets from the bridge's I/O
// base. Inverted 12-bit codes (code 0 is +5 V), no ready flag.
class PciCard : public Card {
public:
    explicit PciCard(int base) : Card(0x27, base, 32, {1, 4, 5}) {}
    uint8_t Read(int offset) override;
    void Write(int offset, uint8_t value) override;
    void SetVolts(int channel, double volts) override;
    void SetFrequency(int input, double hz) override;

private:
    std::array<uint8_t, 2> m_mux{};
};

}  // namespace vantor::emulation

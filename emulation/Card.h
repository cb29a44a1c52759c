#pragma once
// A card on the emulated ISA bus: answers reads and writes of the ports in its
// range at register level. The values a card delivers (converter codes,
// input bits, period counts, counters) are set by tests or by vantor-boardsim;
// a card without the function ignores the setter.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>

namespace vantor::emulation {

constexpr int kEmuChannels = 32;

class Card {
public:
    // outputPorts: the offsets whose writes drive a digital-output latch.
    Card(uint8_t id, int base, int span, std::initializer_list<int> outputPorts = {})
        : m_id(id), m_base(base), m_span(span) {
        for (int offset : outputPorts) m_outputPorts |= uint64_t{1} << offset;
    }
    virtual ~Card() = default;
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;

    uint8_t Id() const { return m_id; }
    int Base() const { return m_base; }
    int Span() const { return m_span; }
    bool Covers(int port) const { return port >= m_base && port < m_base + m_span; }

    // offset = port - Base().
    virtual uint8_t Read(int offset);
    virtual void Write(int offset, uint8_t value);
    bool IsOutputPort(int offset) const {
        return offset >= 0 && offset < 64 && ((m_outputPorts >> offset) & 1) != 0;
    }

    // The converter word the card delivers for a channel, in the card's own
    // coding (12-bit two's complement, offset binary, or 14 bits).
    void SetRaw(int channel, uint16_t raw);
    uint16_t Raw(int channel) const;
    // The word the card delivers for volts on its ±5 V range.
    virtual void SetVolts(int channel, double volts);
    void SetDigitalIn(uint16_t bits) { m_digitalIn = bits; }
    // Frequency input (1-based): the period count latched, or the count that
    // gives hz with the card's time base.
    virtual void SetPeriodCount(int input, uint32_t count);
    virtual void SetFrequency(int input, double hz);
    // Encoder or gated counter n.
    virtual void SetCounter(int n, uint32_t value);
    uint32_t Counter(int n) const { return (n >= 0 && n < 4) ? m_counter[n] : 0; }
    // Conversion time counted in status reads; -1 never finishes.
    void SetBusyPolls(int polls) { m_busyPolls = polls; }

protected:
    static uint8_t Byte(uint32_t word, int index) {
        return static_cast<uint8_t>(word >> (8 * index));
    }
    // Byte index of two 16-bit words read as one run, low byte first.
    static uint8_t WordPairByte(uint32_t first, uint32_t second, int index) {
        return Byte(index < 2 ? first : second, index % 2);
    }
    uint32_t Period(int input) const {
        return (input >= 1 && input <= 4) ? m_period[input - 1] : 0;
    }
    // Period count for hz on a time base; 0 for no pulse.
    static uint32_t CountFor(double clockHz, double hz);
    // A converter code rounded and kept within 0..max.
    static uint16_t ClampedCode(double code, long max);

    uint8_t m_id;
    int m_base;
    int m_span;
    std::array<uint16_t, kEmuChannels> m_raw{};
    uint16_t m_digitalIn = 0;
    std::array<uint32_t, 4> m_period{};
    std::array<uint32_t, 4> m_counter{};
    int m_busyPolls = 1;
    uint64_t m_outputPorts = 0;
};

// Only the identification byte at base + 1 (0x19, 0x22, or a foreign byte).
class IdCard : public Card {
public:
    IdCard(uint8_t id, int base) : Card(id, base, 16) {}
};

// The separate counter card at 0x240/0x241: per port a control byte whose
// bits 1-2 choose the low byte (0), the high byte (4) or run (6); bit 0 set
// after a 6 clears the count. Counts are delivered XOR 0x7FFF.
class Enc3Card : public Card {
public:
    explicit Enc3Card(int base = 0x240) : Card(0, base, 2) {}
    uint8_t Read(int offset) override;
    void Write(int offset, uint8_t value) override;

private:
    std::array<uint8_t, 2> m_control{};
};

// Builds the model for a type code (0x18, 0x21, 0x23, 0x24, 0x25, 0x27,
// 0x88); any other code gives an identification-only card.
std::unique_ptr<Card> MakeCard(uint8_t type, int base);

}  // namespace vantor::emulation

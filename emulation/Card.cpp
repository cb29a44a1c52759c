#include "emulation/Card.h"

#include <cmath>

namespace vantor::emulation {

uint8_t Card::Read(int offset) {
    return offset == 1 ? m_id : 0xFF;
}

void Card::Write(int /*offset*/, uint8_t /*value*/) {}

void Card::SetRaw(int channel, uint16_t raw) {
    if (channel >= 0 && channel < kEmuChannels) m_raw[channel] = raw;
}

uint16_t Card::Raw(int channel) const {
    return (channel >= 0 && channel < kEmuChannels) ? m_raw[channel] : 0;
}

// 12-bit two's complement on ±5 V, the coding of the multiplexed ISA cards.
void Card::SetVolts(int channel, double volts) {
    SetRaw(channel,
           static_cast<uint16_t>(ClampedCode((volts + 5.0) * 4096.0 / 10.0, 0xFFF) ^ 0x800));
}

void Card::SetPeriodCount(int input, uint32_t count) {
    if (input >= 1 && input <= 4) m_period[input - 1] = count;
}

void Card::SetFrequency(int /*input*/, double /*hz*/) {}

void Card::SetCounter(int n, uint32_t value) {
    if (n >= 0 && n < 4) m_counter[n] = value;
}

uint32_t Card::CountFor(double clockHz, double hz) {
    if (!(hz > 0.0)) return 0;
    double count = std::round(clockHz / hz);
    if (count < 1.0) return 1;
    return count > 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(count);
}

uint16_t Card::ClampedCode(double code, long max) {
    const long rounded = std::lround(code);
    return static_cast<uint16_t>(rounded < 0 ? 0 : (rounded > max ? max : rounded));
}

uint8_t Enc3Card::Read(int offset) {
    if (offset < 0 || offset > 1) return 0xFF;
    const auto delivered = static_cast<uint16_t>(m_counter[offset] ^ 0x7FFF);
    return (m_control[offset] & 0x06) == 0x04 ? static_cast<uint8_t>(delivered >> 8)
                                              : static_cast<uint8_t>(delivered);
}

void Enc3Card::Write(int offset, uint8_t value) {
    if (offset < 0 || offset > 1) return;
    // 6 followed by 7: the reset strobe.
    if ((value & 0x07) == 0x07 && (m_control[offset] & 0x07) == 0x06) m_counter[offset] = 0;
    m_control[offset] = value;
}

}  // namespace vantor::emulation

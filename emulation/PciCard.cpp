#include "emulation/Cards.h"

namespace vantor::emulation {

uint8_t PciCard::Read(int offset) {
    switch (offset) {
        case 0:
            return 0x00;
        case 1:
            return m_id;
        case 2:
            return static_cast<uint8_t>(m_raw[m_mux[0]]);
        case 3:
            return static_cast<uint8_t>((m_raw[m_mux[0]] >> 8) & 0x0F);
        case 10:
            return static_cast<uint8_t>(m_raw[8 + m_mux[1]]);
        case 11:
            return static_cast<uint8_t>((m_raw[8 + m_mux[1]] >> 8) & 0x0F);
        case 4:
        case 5:
            return Byte(m_digitalIn, offset - 4);
        case 6:
        case 7:
        case 8:
            return Byte(Period(1), offset - 6);
        case 12:
        case 13:
        case 14:
            return Byte(Period(2), offset - 12);
        case 21:
        case 22:
        case 23:
        case 24:
            return WordPairByte(m_counter[0], m_counter[1], offset - 21);
        default:
            return 0xFF;
    }
}

void PciCard::Write(int offset, uint8_t value) {
    if (offset == 2) m_mux[0] = value & 7;
    if (offset == 10) m_mux[1] = value & 7;
    if (offset == 16 && value == 1) m_counter[0] = m_counter[1] = 0;
}

void PciCard::SetVolts(int channel, double volts) {
    SetRaw(channel, ClampedCode((5.0 - volts) * 4096.0 / 10.0, 0xFFF));
}

void PciCard::SetFrequency(int input, double hz) {
    SetPeriodCount(input, CountFor(100000000.0, hz));
}

}  // namespace vantor::emulation

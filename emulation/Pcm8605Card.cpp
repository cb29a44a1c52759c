#include "emulation/Cards.h"

namespace vantor::emulation {

uint8_t Pcm8605Card::Read(int offset) {
    const uint32_t period = Period(m_freqSelect + 1);
    switch (offset) {
        case 1:
            return m_id;
        case 2:
            return static_cast<uint8_t>(m_raw[m_mux]);
        case 3:
            return static_cast<uint8_t>(((m_raw[m_mux] >> 8) & 0x3F) | 0x80);  // bit 7: data valid
        case 4:
        case 5:
            return Byte(m_digitalIn, offset - 4);
        case 6:
        case 7:
        case 8:
            return Byte(period, offset - 6);
        case 26:
            return Byte(period, 3);
        case 22:
        case 23:
        case 24:
        case 25:
            return WordPairByte(m_encoder[0], m_encoder[1], offset - 22);
        case 27:
        case 28:
        case 29:
        case 30: {
            int n = m_gateSelect - 1;
            return (n >= 0 && n < 4) ? Byte(m_counter[n], offset - 27) : 0;
        }
        default:
            return 0xFF;
    }
}

void Pcm8605Card::Write(int offset, uint8_t value) {
    switch (offset) {
        case 2:
            m_mux = value & 0x0F;
            break;
        case 12:
            m_freqSelect = value;
            break;
        case 22:
            // The status register's 0-1-0 strobe clears the encoder counters.
            if (value == 1 && m_status == 0) m_encoder = {};
            m_status = value;
            break;
        case 24:
            m_gate = value;
            break;
        case 25:
            m_gateSelect = value;
            break;
        default:
            break;
    }
}

void Pcm8605Card::SetVolts(int channel, double volts) {
    SetRaw(channel, ClampedCode((5.0 - volts) * 16383.0 / 10.0, 16383));
}

void Pcm8605Card::SetFrequency(int input, double hz) {
    SetPeriodCount(input, CountFor(40000000.0, hz));
}

void Pcm8605Card::SetCounter(int n, uint32_t value) {
    Card::SetCounter(n, value);
    if (n >= 0 && n < 2) m_encoder[n] = static_cast<uint16_t>(value);
}

}  // namespace vantor::emulation

#include <cmath>

#include "emulation/Cards.h"

namespace vantor::emulation {

uint8_t Pcl818Card::Read(int offset) {
    switch (offset) {
        case 0:
            return static_cast<uint8_t>(((m_last & 0x0F) << 4) | m_lastChannel);
        case 1:
            return static_cast<uint8_t>(m_last >> 4);
        case 2:
            return m_mux;
        case 3:
            return static_cast<uint8_t>(m_digitalIn);
        case 8: {
            uint8_t status = m_busy == 0 ? 0x10 : 0x00;
            if (m_busy > 0) --m_busy;
            return status;
        }
        case 9:
            return m_control;
        case 11:
            return static_cast<uint8_t>(m_digitalIn >> 8);
        default:
            return 0xFF;
    }
}

void Pcl818Card::Write(int offset, uint8_t value) {
    switch (offset) {
        case 0:  // software trigger: convert the multiplexer's start channel
            m_lastChannel = m_mux & 0x0F;
            m_last = m_raw[m_lastChannel] & 0x0FFF;
            m_busy = m_busyPolls;
            break;
        case 1:
            m_gain = value;
            break;
        case 2:
            m_mux = value;
            break;
        case 9:
            m_control = value;
            break;
        default:
            break;
    }
}

void Pcl818Card::SetVolts(int channel, double volts) {
    SetRaw(channel, ClampedCode((volts + 5.0) * 4096.0 / 10.0, 0xFFF));
}

}  // namespace vantor::emulation

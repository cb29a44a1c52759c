// The channel operations: registers turned into volts, lines, frequencies and
// counts, by type.
#include "boards/Board.h"
#include "platform/Clock.h"

namespace vantor::boards {
namespace {

constexpr uint8_t kReadyMask[4] = {0x88, 0x40, 0x20, 0x10};
constexpr uint8_t kReadyMask24 = 0x01;
constexpr uint8_t kPcl818Done = 0x10;
constexpr uint32_t kFrequencySelectWaitMs = 1;

int RangeOf(int option) {
    return option == 2 ? 20 : 10;
}
uint8_t ControlByte(int channel, int option) {
    return static_cast<uint8_t>((channel & 7) | (option == 2 ? 0x58 : 0x48));
}
// Volts from an offset-binary 12-bit code on a range of ±range/2.
float OffsetVolts(int range, uint32_t code) {
    return static_cast<float>(range * static_cast<double>(code) / 4096.0 - range / 2.0);
}
// Twice the halved integer quotient: the integer types lose the quotient's
// lowest bit.
float IntegerFrequency(uint32_t clock, uint32_t count) {
    if (count == 0) return 0.0F;
    uint32_t v = (clock / count) / 2;
    return static_cast<float>(2.0 * v);
}

}  // namespace

int Board::ReadAnalog(int channel, float* buffer, int count, int option) {
    if (m_isOpen == 0) return 0;
    if (buffer == nullptr || count < 0) count = 0;
    switch (m_typeCode) {
        case 0x88:
            return AnalogPcl818(channel, buffer, count, option);
        case 0x25:
            return AnalogPcm8605(channel, buffer, count);
        case 0x27:
            return AnalogPci(channel, buffer, count, option);
        default:
            return AnalogMultiplexed(channel, buffer, count, option);
    }
}

int Board::AnalogMultiplexed(int channel, float* buffer, int count, int option) {
    if (channel < 0 || channel > 31) return -1;
    if (BridgeLoaded()) return 0;  // port-driver card while the bridge is in use
    const int range = RangeOf(option);
    const int g = (channel & 0x18) >> 3;
    const uint8_t ready = (g == 0 && m_typeCode == 0x24) ? kReadyMask24 : kReadyMask[g];
    const int32_t low = m_regs.slot[ConverterLowSlot(g)];
    const int32_t high = m_regs.slot[ConverterHighSlot(g)];
    const uint8_t control = ControlByte(channel, option);
    for (int i = 0; i < count; ++i) {
        Out(low, control);
        // Bounded: after the last poll the sample is read anyway.
        for (int poll = 0; poll < kReadyPolls && !StopRequested(); ++poll) {
            if ((In(m_regs.slot[kConverterStatus]) & ready) != 0) break;
        }
        uint32_t lo = In(low);
        uint32_t hi = In(high) & 0x0Fu;
        uint32_t code = ((hi << 8) | lo) ^ 0x800u;  // two's complement to offset
        buffer[i] = OffsetVolts(range, code);
    }
    return 0;
}

int Board::AnalogPcl818(int channel, float* buffer, int count, int option) {
    if (channel < 0 || channel > 8) return -1;
    if (BridgeLoaded()) return 0;
    const int range = RangeOf(option);
    Out(m_pcl818Mux, static_cast<uint8_t>((channel << 4) | channel));
    const auto trigger = static_cast<uint8_t>(In(m_regs.slot[kConverterStatus]) & ~0x02);
    Out(m_regs.slot[kConverter0High], m_pcl818Gain);
    for (int i = 0; i < count; ++i) {
        Out(m_regs.slot[kConverter0Low], trigger);
        for (int poll = 0; poll < kReadyPolls && !StopRequested(); ++poll) {
            if ((In(m_regs.slot[kExtraOutput]) & kPcl818Done) != 0) break;
        }
        uint32_t lo = In(m_regs.slot[kConverter0Low]) & 0xF0u;
        uint32_t hi = In(m_regs.slot[kConverter0High]);
        buffer[i] = OffsetVolts(range, ((hi << 4) | (lo >> 4)) & 0xFFFu);
    }
    return 0;
}

// No ready flag; code 0 is +5 V, 16383 is -5 V. The option plays no part.
int Board::AnalogPcm8605(int channel, float* buffer, int count) {
    if (BridgeLoaded()) return 0;
    const auto select = static_cast<uint8_t>(channel & 0x0F);
    for (int i = 0; i < count; ++i) {
        Out(m_regs.slot[kConverter0Low], select);
        uint32_t lo = In(m_regs.slot[kConverter0Low]);
        uint32_t hi = In(m_regs.slot[kConverter0High]) & 0x3Fu;
        uint32_t code = (hi << 8) | lo;
        buffer[i] = static_cast<float>(5.0 - code * 10.0 / 16383.0);
    }
    return 0;
}

// Bridge only; two converter groups, code 0 is +5 V.
int Board::AnalogPci(int channel, float* buffer, int count, int option) {
    if (channel < 0 || channel > 15) return -1;
    if (!BridgeLoaded()) return 0;
    const int g = (channel & 0x18) >> 3;
    const int32_t low = m_regs.slot[ConverterLowSlot(g)];
    const int32_t high = m_regs.slot[ConverterHighSlot(g)];
    const uint8_t control = ControlByte(channel, option);
    for (int i = 0; i < count; ++i) {
        BridgeOut(low, control);
        uint32_t lo = BridgeIn(low);
        uint32_t hi = BridgeIn(high) & 0x0Fu;
        uint32_t code = (hi << 8) | lo;
        if (code > 0xFFF) code = 0;
        buffer[i] = static_cast<float>(5.0 - code * 10.0 / 4096.0);
    }
    return 0;
}

int Board::ReadDigitalInput(int line) {
    if (m_isOpen == 0 || line < 0 || line > 15) return 0;
    uint8_t bits = line < 8 ? Rd(m_regs.slot[kDigitalInLow]) : Rd(m_regs.slot[kDigitalInHigh]);
    return (bits >> (line & 7)) & 1;
}

void Board::WriteDigitalOutput(int line, int level) {
    if (m_isOpen == 0 || line < 0 || line > 23) return;
    const auto bit = static_cast<uint8_t>(1u << (line & 7));
    uint8_t* shadow = &m_doShadowLow;
    int slot = kDigitalOutLow;
    if (line >= 16) {
        shadow = &m_doShadowThird;
        slot = kDigitalOutThird;
    } else if (line >= 8) {
        shadow = &m_doShadowHigh;
        slot = kDigitalOutHigh;
    }
    *shadow =
        level == 1 ? static_cast<uint8_t>(*shadow | bit) : static_cast<uint8_t>(*shadow & ~bit);
    Wr(m_regs.slot[slot], *shadow);
}

// A running count can change between its byte reads, so the bytes are read
// one statement at a time, lowest first: the order the card latches them in.
uint32_t Board::ReadCount24(int32_t b0, int32_t b1, int32_t b2) {
    const uint32_t byte0 = In(b0);
    const uint32_t byte1 = In(b1);
    const uint32_t byte2 = In(b2);
    return (byte2 << 16) | (byte1 << 8) | byte0;
}

uint32_t Board::BridgeCount24(int32_t b0, int32_t b1, int32_t b2) {
    const uint32_t byte0 = BridgeIn(b0);
    const uint32_t byte1 = BridgeIn(b1);
    const uint32_t byte2 = BridgeIn(b2);
    return (byte2 << 16) | (byte1 << 8) | byte0;
}

float Board::ReadFrequency(int input) {
    if (m_isOpen == 0) return 0.0F;
    const auto& f = m_regs.frequency;
    if (m_typeCode == 0x27) {
        if (!BridgeLoaded()) return 0.0F;
        if (input == 1) BridgeIn(0);  // the card wants offset 0 read first
        const uint32_t count =
            input == 1 ? BridgeCount24(f[0], f[1], f[2]) : BridgeCount24(f[3], f[4], f[5]);
        return count == 0 ? 0.0F : static_cast<float>(2.0 * (50000000.0 / count));
    }
    if (BridgeLoaded()) return 0.0F;  // port-driver card while the bridge is in use
    switch (m_typeCode) {
        case 0x23:
            return IntegerFrequency(5000000u, input == 1 ? ReadCount24(f[0], f[1], f[2])
                                                         : ReadCount24(f[3], f[4], f[5]));
        case 0x24:
            // Only a finished measurement (status bit 0) gives a value.
            if ((In(m_regs.freqStatus) & 0x01) == 0) return 0.0F;
            return IntegerFrequency(5000000u, ReadCount24(f[0], f[1], f[2]));
        case 0x25: {
            Out(f[5], static_cast<uint8_t>(input - 1));  // frequency select
            platform::SleepMs(kFrequencySelectWaitMs);
            const uint32_t low = ReadCount24(f[0], f[1], f[2]);
            const uint32_t count = low | (uint32_t{In(f[3])} << 24);
            return count == 0 ? 0.0F : static_cast<float>(2.0 * (20000000.0 / count));
        }
        default:
            return IntegerFrequency(1000000u, input == 1 ? ReadCount24(f[0], f[1], f[2])
                                                         : ReadCount24(f[3], f[4], f[5]));
    }
}

int32_t Board::ReadCounter(int counter) {
    if (m_isOpen == 0) return 0;
    if (counter < 0 || counter > 1) return -1;
    const int n = counter;
    const bool bridge = BridgeLoaded();
    if (m_enc3Configured == 1 && !bridge) {
        const int32_t port = m_regs.enc3Port[n];
        const auto base = static_cast<uint8_t>(m_enc3Control[n] & 0xF9);
        Out(port, base);
        uint32_t lo = In(port);
        Out(port, static_cast<uint8_t>(base | 4));
        uint32_t hi = In(port);
        m_enc3Control[n] = static_cast<uint8_t>(base | 6);
        Out(port, m_enc3Control[n]);
        return static_cast<int32_t>(((hi << 8) | lo) ^ 0x7FFFu);
    }
    if (m_typeCode == 0x24 && !bridge) {
        uint32_t first = In(m_regs.slot[ConverterHighSlot(n + 1)]);
        uint32_t second = In(m_regs.slot[ConverterLowSlot(n + 1)]);
        return static_cast<int32_t>((first << 8) | second);
    }
    if ((m_typeCode == 0x25 && !bridge) || (m_typeCode == 0x27 && bridge)) {
        uint32_t hi = Rd(m_regs.counterHigh[n]);
        uint32_t lo = Rd(m_regs.counterLow[n]);
        return static_cast<int32_t>((hi << 8) | lo);
    }
    return -1;
}

void Board::ResetCounters() {
    if (m_isOpen == 0) return;
    const bool bridge = BridgeLoaded();
    if (m_enc3Configured == 1 && !bridge) {
        for (int n = 0; n < 2; ++n) {
            m_enc3Control[n] = 6;
            Out(m_regs.enc3Port[n], m_enc3Control[n]);
            m_enc3Control[n] = 7;
            Out(m_regs.enc3Port[n], m_enc3Control[n]);
        }
    } else if (m_typeCode == 0x24 && !bridge) {
        Out(m_regs.counterResetA, 1);
        Out(m_regs.counterResetB, 1);
    } else if (m_typeCode == 0x25 && !bridge) {
        Out(m_regs.freqStatus, 0);
        Out(m_regs.freqStatus, 1);
        Out(m_regs.freqStatus, 0);
    } else if (m_typeCode == 0x27 && bridge) {
        BridgeOut(m_regs.freqStatus, 1);
    }
}

// The gate operations go through the port driver only; with no driver open
// (closed board, or open through the bridge) the writes go nowhere.
void Board::EnableCounterGate(int n) {
    m_gateByte = (n >= 0 && n <= 3) ? static_cast<uint8_t>(m_gateByte | (1u << n)) : 0x0F;
    Out(m_regs.gate, m_gateByte);
}

void Board::DisableCounterGate(int n) {
    m_gateByte = (n >= 0 && n <= 3) ? static_cast<uint8_t>(m_gateByte & ~(1u << n)) : 0x00;
    Out(m_regs.gate, m_gateByte);
}

uint32_t Board::ReadGatedCounter(int n) {
    Out(m_regs.gateSelect, static_cast<uint8_t>(n + 1));
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{In(m_regs.gateData[i])} << (8 * i);
    return value;
}

}  // namespace vantor::boards

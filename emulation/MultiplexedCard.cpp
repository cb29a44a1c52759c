#include "emulation/Cards.h"

namespace vantor::emulation {
namespace {
constexpr int kLowOffsets[4] = {2, 10, 12, 14};
constexpr int kHighOffsets[4] = {3, 11, 13, 15};
constexpr uint8_t kGroupReady[4] = {0, 0x40, 0x20, 0x10};
}  // namespace

MultiplexedCard::MultiplexedCard(uint8_t id, int base)
    : Card(id, base, 16, {1, 4, 5}),
      m_groups(id == 0x21 ? 4 : (id == 0x23 ? 2 : 1)),
      m_group0Ready(id == 0x24 ? 0x01 : 0x80),
      m_diLow((id == 0x23 || id == 0x24) ? 4 : 6) {}

int MultiplexedCard::GroupOfLow(int offset) const {
    for (int g = 0; g < m_groups; ++g)
        if (kLowOffsets[g] == offset) return g;
    return -1;
}

int MultiplexedCard::GroupOfHigh(int offset) const {
    for (int g = 0; g < m_groups; ++g)
        if (kHighOffsets[g] == offset) return g;
    return -1;
}

// Ready bits of the idle groups; a started group stays busy for its polls.
uint8_t MultiplexedCard::Status() {
    uint8_t status = 0;
    for (int g = 0; g < m_groups; ++g) {
        if (m_busy[g] == 0) status |= g == 0 ? m_group0Ready : kGroupReady[g];
        if (m_busy[g] > 0) --m_busy[g];
    }
    return status;
}

uint8_t MultiplexedCard::Read(int offset) {
    if (offset == 0) return Status();
    if (offset == 1) return m_id;
    if (offset == m_diLow) return static_cast<uint8_t>(m_digitalIn);
    if (offset == m_diLow + 1) return static_cast<uint8_t>(m_digitalIn >> 8);
    if (auto value = CounterSlot(offset)) return *value;
    if (int g = GroupOfLow(offset); g >= 0) return static_cast<uint8_t>(m_raw[g * 8 + m_mux[g]]);
    if (int g = GroupOfHigh(offset); g >= 0) {
        int channel = g * 8 + m_mux[g];
        return static_cast<uint8_t>(((m_raw[channel] >> 8) & 0x0F) | ((channel & 0x0F) << 4));
    }
    return 0x00;  // the card decodes its whole range; unused ports read 0
}

std::optional<uint8_t> MultiplexedCard::CounterSlot(int offset) const {
    if (m_id == 0x24) {
        // Encoder counters in the slots of converters 1 and 2.
        if (offset == 11) return Byte(m_counter[0], 1);
        if (offset == 10) return Byte(m_counter[0], 0);
        if (offset == 13) return Byte(m_counter[1], 1);
        if (offset == 12) return Byte(m_counter[1], 0);
        if (offset == 15) return m_periodReady ? 0x01 : 0x00;
    }
    if (m_id == 0x23 || m_id == 0x24) {
        if (offset >= 6 && offset <= 8) return Byte(Period(1), offset - 6);
    }
    if (m_id == 0x23 && offset >= 12 && offset <= 14) return Byte(Period(2), offset - 12);
    return std::nullopt;
}

void MultiplexedCard::Write(int offset, uint8_t value) {
    if (m_id == 0x24 && offset == 6 && value == 1) m_counter[0] = 0;
    if (m_id == 0x24 && offset == 14 && value == 1) m_counter[1] = 0;
    if (int g = GroupOfLow(offset); g >= 0) {
        m_mux[g] = value & 7;  // control byte: starts a conversion
        m_busy[g] = m_busyPolls;
    }
}

void MultiplexedCard::SetFrequency(int input, double hz) {
    if (m_id == 0x23 || m_id == 0x24) SetPeriodCount(input, CountFor(5000000.0, hz));
}

}  // namespace vantor::emulation

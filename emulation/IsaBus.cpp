#include "emulation/IsaBus.h"

#include <algorithm>

#include "boards/BusProtocol.h"
#include "emulation/Cards.h"

namespace vantor::emulation {

constexpr int kPorts = 0x10000;

std::unique_ptr<Card> MakeCard(uint8_t type, int base) {
    switch (type) {
        case 0x18:
        case 0x21:
        case 0x23:
        case 0x24:
            return std::make_unique<MultiplexedCard>(type, base);
        case 0x25:
            return std::make_unique<Pcm8605Card>(base);
        case 0x27:
            return std::make_unique<PciCard>(base);
        case 0x88:
            return std::make_unique<Pcl818Card>(base);
        default:
            return std::make_unique<IdCard>(type, base);
    }
}

IsaBus::IsaBus()
    : m_readCounts(kPorts, 0), m_version(static_cast<int>(boards::wire::kProtocolVersion)) {}

Card& IsaBus::AddCard(std::unique_ptr<Card> card) {
    m_cards.push_back(std::move(card));
    return *m_cards.back();
}

Card* IsaBus::CardAt(int base) {
    for (auto& c : m_cards)
        if (c->Base() == base) return c.get();
    return nullptr;
}

Card* IsaBus::CardCovering(int port) {
    for (auto& c : m_cards)
        if (c->Covers(port)) return c.get();
    return nullptr;
}

// One holder at a time unless the range is sharable.
uint32_t IsaBus::Claim(int /*port*/, int /*length*/, bool sharable) {
    if (sharable) return m_nextHandle++;
    if (m_claim != 0) return 0;
    m_claim = m_nextHandle++;
    return m_claim;
}

void IsaBus::Release(uint32_t cardHandle) {
    if (cardHandle != 0 && cardHandle == m_claim) m_claim = 0;
}

uint8_t IsaBus::ReadPort(int port) {
    if (port < 0 || port >= kPorts) return 0xFF;
    ++m_readCounts[port];
    if (m_reads.size() == kLogSize) m_reads.pop_front();
    m_reads.push_back(port);
    Card* card = CardCovering(port);
    return card != nullptr ? card->Read(port - card->Base()) : 0xFF;
}

bool IsaBus::Read(int port, uint8_t& value) {
    if (port < 0 || port >= kPorts) return false;
    value = ReadPort(port);
    return true;
}

bool IsaBus::Write(int port, uint8_t value) {
    if (port < 0 || port >= kPorts) return false;
    Card* card = CardCovering(port);
    BusWrite w{port, value, false};
    if (card != nullptr) {
        card->Write(port - card->Base(), value);
        w.output = card->IsOutputPort(port - card->Base());
    }
    if (m_writes.size() == kLogSize) m_writes.pop_front();
    m_writes.push_back(w);
    if (m_observer) m_observer(w);
    return true;
}

std::vector<uint8_t> IsaBus::WritesTo(int port) const {
    std::vector<uint8_t> values;
    for (const BusWrite& w : m_writes)
        if (w.port == port) values.push_back(w.value);
    return values;
}

void IsaBus::ClearLog() {
    m_writes.clear();
    m_reads.clear();
    std::fill(m_readCounts.begin(), m_readCounts.end(), 0);
}

uint32_t IsaBus::ReadCount(int port) const {
    return (port >= 0 && port < kPorts) ? m_readCounts[port] : 0;
}

}  // namespace vantor::emulation

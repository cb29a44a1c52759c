#pragma once
// The emulated ISA bus: cards at base addresses, unmapped ports read 0xFF and
// swallow writes. Every write and every read port is recorded (the last
// kLogSize of each) and reads are counted per port, so tests can check
// the exact register traffic and its order. Not thread-safe: one thread drives it (a test, or the
// serving loop of vantor-boardsim).
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "boards/PortBus.h"
#include "emulation/Card.h"

namespace vantor::emulation {

struct BusWrite {
    int port;
    uint8_t value;
    bool output;  // a digital-output latch
    bool operator==(const BusWrite&) const = default;
};

class IsaBus : public boards::PortBus {
public:
    static constexpr size_t kLogSize = 65536;

    IsaBus();

    // Adds a card; returns it for setting its values. Cards are never removed.
    Card& AddCard(std::unique_ptr<Card> card);
    Card& AddCard(uint8_t type, int base) { return AddCard(MakeCard(type, base)); }
    Card* CardAt(int base);
    const std::vector<std::unique_ptr<Card>>& Cards() const { return m_cards; }
    Card* CardCovering(int port);

    // PortBus
    int Version() override { return m_version; }
    uint32_t Claim(int port, int length, bool sharable) override;
    void Release(uint32_t cardHandle) override;
    bool Read(int port, uint8_t& value) override;
    bool Write(int port, uint8_t value) override;

    uint8_t ReadPort(int port);
    const std::deque<BusWrite>& Writes() const { return m_writes; }
    // Ports read, in order.
    const std::deque<int>& Reads() const { return m_reads; }
    // Values written to one port, in order.
    std::vector<uint8_t> WritesTo(int port) const;
    void ClearLog();
    uint32_t ReadCount(int port) const;

    void SetVersion(int version) { m_version = version; }
    bool Claimed() const { return m_claim != 0; }
    // Called after every write.
    void SetWriteObserver(std::function<void(const BusWrite&)> observer) {
        m_observer = std::move(observer);
    }

private:
    std::vector<std::unique_ptr<Card>> m_cards;
    std::deque<BusWrite> m_writes;
    std::deque<int> m_reads;
    std::vector<uint32_t> m_readCounts;
    std::function<void(const BusWrite&)> m_observer;
    int m_version;
    uint32_t m_claim = 0;
    uint32_t m_nextHandle = 1;
};

}  // namespace vantor::emulation

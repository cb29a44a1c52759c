// Board access: the choice of path at open, single register bytes, and the
// register map of each type.
#include "boards/Board.h"

#include "boards/PortBackends.h"
#include "platform/Clock.h"
#include "platform/Trace.h"

namespace vantor::boards {
namespace {

std::atomic<int32_t> g_pcl818Mux{kNoRegister};
std::atomic<uint8_t> g_pcl818Gain{0};
constexpr uint32_t kBridgeInitWaitMs = 1000;

// The gated counters of a PCM 8605 at base b: gate, counter select, data bytes.
void SetGatedCounters(BoardRegisters& r, int32_t b) {
    r.gate = b + 24;
    r.gateSelect = b + 25;
    r.gateData = {b + 27, b + 28, b + 29, b + 30};
}

}  // namespace

// Written only by Configure (bring-up, display probe), read by ReadAnalog.
int32_t Pcl818MuxRegister() {
    return g_pcl818Mux.load();
}
uint8_t Pcl818GainCode() {
    return g_pcl818Gain.load();
}

BoardRegisters InitialRegisters() {
    constexpr int32_t b = 0x320;
    BoardRegisters r{};
    r.slot = {b + 7,  b + 6,  b + 5,  b + 4,  kNoRegister, b + 3, b + 2, b + 11, b + 10,
              b + 13, b + 12, b + 15, b + 14, b + 1,       b + 1, b + 1, b};
    r.frequency = {b + 6, b + 7, b + 8, kNoRegister, kNoRegister, kNoRegister};
    r.freqStatus = b + 15;
    r.counterResetA = b + 6;
    r.counterResetB = b + 14;
    r.counterHigh = {b + 22, b + 24};
    r.counterLow = {b + 21, b + 23};
    SetGatedCounters(r, b);
    r.enc3Port = {0x240, 0x241};
    return r;
}

Board::Board(int shadows)
    : m_regs(InitialRegisters()),
      m_doShadowLow(static_cast<uint8_t>(shadows & 0xFF)),
      m_doShadowHigh(static_cast<uint8_t>((shadows >> 8) & 0xFF)) {}

// The owner closes the board first; whatever is still held is released here.
Board::~Board() = default;

bool Board::OpenDevice() {
    if (m_isOpen == 1) return false;
    if (m_bridge.Load()) {
        if (m_bridge.OpenDevice(m_bridgeDevice)) {
            m_bridgeIoBase = 0;
            m_bridge.IoBase(m_bridgeDevice, m_bridgeIoBase);
            m_isOpen = 1;
            return true;
        }
        m_bridge.Unload();
    }
    m_isOpen = OpenPortDriver(m_portDevice.empty() ? DefaultPortDevice() : m_portDevice, m_port);
    return m_isOpen != 0;
}

void Board::CloseDevice() {
    if (m_isOpen != 1) return;
    if (!m_bridge.Loaded()) {
        m_isOpen = 0;
        ClosePortDriver(m_port);
        return;
    }
    m_bridge.CloseDevice(m_bridgeDevice);
    m_bridge.Unload();
    m_isOpen = 0;
}

uint8_t Board::In(int32_t reg) {
    uint8_t value = 0;
    if (reg != kNoRegister && !PortReadByte(m_port.get(), reg, value) && m_port) ++m_failed;
    return value;
}

void Board::Out(int32_t reg, uint8_t value) {
    if (reg != kNoRegister && !PortWriteByte(m_port.get(), reg, value) && m_port) ++m_failed;
}

// The handle changes only in OpenDevice and CloseDevice, on the thread that
// calls this; the backend's counters are atomic.
PortLinkState Board::PortLink() const {
    return boards::PortLink(m_port.get());
}

uint8_t Board::BridgeIn(int32_t offset) {
    uint8_t value = 0;
    if (offset != kNoRegister && m_bridge.Loaded())
        m_bridge.ReadByte(m_bridgeDevice, m_bridgeIoBase + offset, value);
    return value;
}

void Board::BridgeOut(int32_t offset, uint8_t value) {
    if (offset != kNoRegister && m_bridge.Loaded())
        m_bridge.WriteByte(m_bridgeDevice, m_bridgeIoBase + offset, value);
}

uint8_t Board::ReadIdByte(int port) {
    if (m_isOpen == 0) return 0;
    port &= 0xFFFF;
    if (port == kBridgeIdPort) return BridgeLoaded() ? BridgeIn(1) : 0;
    return BridgeLoaded() ? 0 : In(port);
}

uint8_t Board::ReadByte(int port) {
    return In(port);
}

void Board::WriteByte(int port, uint8_t value) {
    Out(port, value);
}

void Board::SetMap(uint8_t typeCode, int b) {
    auto& s = m_regs.slot;
    auto& f = m_regs.frequency;
    switch (typeCode) {
        case 0x00:
            m_regs.enc3Port = {0x240, 0x241};
            m_enc3Configured = 1;
            break;
        case 0x18:
        case 0x21:
            s[0] = b + 7, s[1] = b + 6, s[2] = b + 5, s[3] = b + 4, s[4] = b + 1;
            s[5] = b + 3, s[6] = b + 2, s[15] = b + 1, s[16] = b;
            if (typeCode == 0x21) {
                s[7] = b + 11, s[8] = b + 10, s[9] = b + 13, s[10] = b + 12;
                s[11] = b + 15, s[12] = b + 14;
            }
            break;
        case 0x23:
        case 0x24:
            s[0] = b + 5, s[1] = b + 4, s[2] = b + 5, s[3] = b + 4, s[4] = b + 1;
            s[5] = b + 3, s[6] = b + 2, s[7] = b + 11, s[8] = b + 10, s[9] = b + 13, s[10] = b + 12,
            s[15] = b + 1, s[16] = b;
            f[0] = b + 6, f[1] = b + 7, f[2] = b + 8;
            if (typeCode == 0x23) {
                s[11] = b + 15, s[12] = b + 14;
                f[3] = b + 12, f[4] = b + 13, f[5] = b + 14;
                m_regs.counterHigh = {b + 22, b + 24};
                m_regs.counterLow = {b + 21, b + 23};
            } else {
                m_regs.freqStatus = b + 15;
                m_regs.counterResetA = b + 6;
                m_regs.counterResetB = b + 14;
            }
            break;
        case 0x25:
            s[0] = b + 5, s[1] = b + 4, s[2] = b + 5, s[3] = b + 4, s[4] = b + 13;
            s[5] = b + 3, s[6] = b + 2, s[7] = b + 11, s[8] = b + 10, s[15] = b + 1;
            f = {b + 6, b + 7, b + 8, b + 26, b + 13, b + 12};
            m_regs.freqStatus = b + 22;
            m_regs.counterResetA = b + 31;
            m_regs.counterHigh = {b + 23, b + 25};
            m_regs.counterLow = {b + 22, b + 24};
            SetGatedCounters(m_regs, b);
            break;
        case 0x27:  // bridge offsets; the base plays no part
            s[0] = 5, s[1] = 4, s[2] = 5, s[3] = 4, s[4] = 1, s[5] = 3, s[6] = 2;
            s[7] = 11, s[8] = 10, s[15] = 1;
            f = {6, 7, 8, 12, 13, 14};
            m_regs.freqStatus = 16;
            m_regs.counterResetA = 31;
            m_regs.counterHigh = {22, 24};
            m_regs.counterLow = {21, 23};
            break;
        case 0x88:  // PCL-818 cards sit at 0x300 whatever base found them
            s[0] = 0x30B, s[1] = 0x303, s[2] = 0x30B, s[3] = 0x303;
            s[5] = 0x301, s[6] = 0x300, s[15] = 0x308, s[16] = 0x309;
            g_pcl818Mux.store(0x302);
            g_pcl818Gain.store(0);
            break;
        default:  // 0x19, 0x22 and foreign bytes have no map
            break;
    }
}

void Board::Configure(uint8_t typeCode, int base) {
    if (m_isOpen == 0) return;
    m_typeCode = typeCode;
    // While the bridge is in use only the bridge card can be configured.
    if (BridgeLoaded() && typeCode != 0x27) return;
    // The bridge card's registers are bridge offsets: through the port driver
    // they would be system ports (1, 4, 5 ... the DMA controller of a PC).
    // Its byte read without the library leaves the map as it was, as for the
    // types without a map; its operations are bridge-only and do nothing.
    if (typeCode == 0x27 && !BridgeLoaded()) {
        platform::Trace(
            "board: a card at 0x%X answers 0x27 (PCI 8605), but the CH365 bridge "
            "library is not loaded: the card is not usable\n",
            static_cast<unsigned>(base));
        return;
    }
    SetMap(typeCode, base);
    if (typeCode == 0x25) {
        Out(base + 3, 0);
        Out(base + 3, 1);
    }
    if (typeCode == 0x27) InitBridgeCard();
}

void Board::InitBridgeCard() {
    BridgeOut(0, 0);
    BridgeOut(3, 0);
    BridgeOut(11, 0);
    BridgeOut(31, 1);
    BridgeOut(31, 0);
    BridgeOut(31, 1);
    BridgeOut(3, 1);
    BridgeOut(11, 1);
    platform::SleepMs(kBridgeInitWaitMs);
    BridgeOut(3, 3);
    BridgeOut(11, 3);
    m_regs.freqStatus = 16;
    m_regs.slot[kDigitalOutThird] = 1;
}

}  // namespace vantor::boards

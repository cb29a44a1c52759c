// Board access: the choice of path at open, single register bytes, and
// Configure, which lays a type's register map over the board's.
#include "boards/Board.h"

#include "boards/PortBackends.h"
#include "platform/Clock.h"
#include "platform/Trace.h"

namespace vantor::boards {
namespace {

constexpr uint32_t kBridgeInitWaitMs = 1000;
constexpr int32_t kPcl818Multiplexer = 0x302;

}  // namespace

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
    if (m_isOpen != 0) m_port->bus->SetStopFlag(m_stop);
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
        platform::TraceAt(platform::TraceLevel::Warning,
                          "board: a card at 0x%X answers 0x27 (PCI 8605), but the CH365 bridge "
                          "library is not loaded: the card is not usable\n",
                          static_cast<unsigned>(base));
        return;
    }
    if (!ApplyRegisterMap(m_regs, typeCode, base)) return;  // no map: nothing more
    if (typeCode == 0x00) m_enc3Configured = 1;
    if (typeCode == 0x88) {
        m_pcl818Mux = kPcl818Multiplexer;
        m_pcl818Gain = 0;
    }
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

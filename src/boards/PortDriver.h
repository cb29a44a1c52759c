#pragma once
// The port driver: byte-wide I/O port access for ISA and PC/104 cards. One
// handle record per open Board; the backend behind it is chosen by the device
// text (see PortBackends.h).
#include <cstdint>
#include <memory>
#include <string>

#include "boards/PortBus.h"

namespace vantor::boards {

// The card's I/O item registered at open: 8 ports at 0x2E0, not sharable.
constexpr int kCardItemPort = 0x2E0;
constexpr int kCardItemLength = 8;

struct PortHandle {
    std::unique_ptr<PortBus> bus;
    uint32_t cardHandle = 0;
};

// Opens the backend named by device and registers the card item. Returns 1
// and the handle record, or 0 with the reason kept in PortDriverError() and
// everything acquired so far released.
int OpenPortDriver(const std::string& device, std::unique_ptr<PortHandle>& handle);
// Releases the card (if registered) and closes the backend; handle becomes null.
void ClosePortDriver(std::unique_ptr<PortHandle>& handle);
// One byte at port p; a refused read (or no handle) leaves value as it was.
// false when the transfer failed or there is no handle.
bool PortReadByte(PortHandle* handle, int port, uint8_t& value);
bool PortWriteByte(PortHandle* handle, int port, uint8_t value);
// How the backend's transfers fare (all clear without a handle).
PortLinkState PortLink(const PortHandle* handle);

// The failure text of the last open ("" after a successful one).
std::string PortDriverError();

}  // namespace vantor::boards

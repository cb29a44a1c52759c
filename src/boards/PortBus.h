#pragma once
// What a port-access backend offers the port driver: one I/O bus reached by
// byte-wide transfers. Backends: the kernel's /dev/port, an emulated bus in
// another process (Unix socket) and an emulated bus in this process.
#include <atomic>
#include <cstdint>

#include "boards/PortLink.h"

namespace vantor::boards {

// The lowest driver version the port driver accepts from a backend that
// reports one.
constexpr int kMinDriverVersion = 602;

class PortBus {
public:
    virtual ~PortBus() = default;
    // The backend's version, or -1 when it has none to report.
    virtual int Version() = 0;
    // Registers the card's I/O range for this connection. Returns a non-zero
    // card handle, or 0 when the range cannot be had (held by someone else
    // while it is not sharable).
    virtual uint32_t Claim(int port, int length, bool sharable) = 0;
    virtual void Release(uint32_t cardHandle) = 0;
    // One byte from a port; false (and value untouched) when the transfer fails.
    virtual bool Read(int port, uint8_t& value) = 0;
    virtual bool Write(int port, uint8_t value) = 0;
    // How the transfers fare (a bus in this process never fails). Safe to
    // call from any thread.
    virtual PortLinkState Link() const { return {}; }
    // A flag that, reading 1, ends a transfer that waits on a slow bus at
    // once (as a failed one); a bus that never waits ignores it.
    virtual void SetStopFlag(const std::atomic<int>* /*flag*/) {}
};

}  // namespace vantor::boards

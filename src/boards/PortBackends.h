#pragma once
// The port-access backends, chosen by the device text the way a URI prefix
// picks a backend: "unix:PATH" reaches an emulated bus served at a Unix
// socket, "emu:NAME" an emulated bus registered in this process, anything
// else is a device file used like /dev/port (one byte at offset = port).
#include <memory>
#include <string>
#include <string_view>

#include "boards/PortBus.h"

namespace vantor::boards {

struct PortBackend {
    const char* name;
    const char* prefix;  // "" matches any text (the device-file backend, last)
    // Opens the backend for the text after the prefix; nullptr and a reason
    // when it cannot.
    std::unique_ptr<PortBus> (*open)(std::string_view target, std::string& why);
};

// The table, in match order; the last entry has the empty prefix.
const PortBackend* PortBackends(int* count);
const PortBackend& FindPortBackend(std::string_view device);

// $VANTOR_PORT_DEVICE, or "/dev/port" when it is unset or empty.
std::string DefaultPortDevice();

// In-process emulated buses for tests and benchmarks, reached as "emu:NAME".
// The bus must outlive every port driver opened on it; unregister it before
// destroying it.
void RegisterEmulatedBus(const std::string& name, PortBus* bus);
void UnregisterEmulatedBus(const std::string& name);

std::unique_ptr<PortBus> OpenDevicePortBus(std::string_view path, std::string& why);
std::unique_ptr<PortBus> OpenSocketPortBus(std::string_view path, std::string& why);
std::unique_ptr<PortBus> OpenEmulatedPortBus(std::string_view name, std::string& why);

}  // namespace vantor::boards

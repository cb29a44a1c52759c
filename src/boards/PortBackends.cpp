#include "boards/PortBackends.h"

#include <cstdlib>
#include <map>
#include <mutex>

namespace vantor::boards {
namespace {

const PortBackend kBackends[] = {
    {"unix", "unix:", OpenSocketPortBus},
    {"emu", "emu:", OpenEmulatedPortBus},
    {"device", "", OpenDevicePortBus},
};

std::mutex g_emulatedMutex;
std::map<std::string, PortBus*, std::less<>>& EmulatedBuses() {
    static std::map<std::string, PortBus*, std::less<>> buses;
    return buses;
}

// Forwards to a registered bus without owning it; the claim is released when
// the port driver closes.
class EmulatedProxy final : public PortBus {
public:
    explicit EmulatedProxy(PortBus* bus) : m_bus(bus) {}
    int Version() override { return m_bus->Version(); }
    uint32_t Claim(int port, int length, bool sharable) override {
        return m_bus->Claim(port, length, sharable);
    }
    void Release(uint32_t cardHandle) override { m_bus->Release(cardHandle); }
    bool Read(int port, uint8_t& value) override { return m_bus->Read(port, value); }
    bool Write(int port, uint8_t value) override { return m_bus->Write(port, value); }
    PortLinkState Link() const override { return m_bus->Link(); }

private:
    PortBus* m_bus;
};

}  // namespace

const PortBackend* PortBackends(int* count) {
    if (count != nullptr) *count = static_cast<int>(std::size(kBackends));
    return kBackends;
}

const PortBackend& FindPortBackend(std::string_view device) {
    for (const PortBackend& b : kBackends) {
        if (device.starts_with(b.prefix)) return b;
    }
    return kBackends[std::size(kBackends) - 1];
}

std::string DefaultPortDevice() {
    const char* env = std::getenv("VANTOR_PORT_DEVICE");
    return (env != nullptr && *env != '\0') ? std::string(env) : std::string("/dev/port");
}

void RegisterEmulatedBus(const std::string& name, PortBus* bus) {
    std::lock_guard lock(g_emulatedMutex);
    EmulatedBuses()[name] = bus;
}

void UnregisterEmulatedBus(const std::string& name) {
    std::lock_guard lock(g_emulatedMutex);
    EmulatedBuses().erase(name);
}

std::unique_ptr<PortBus> OpenEmulatedPortBus(std::string_view name, std::string& why) {
    std::lock_guard lock(g_emulatedMutex);
    auto it = EmulatedBuses().find(name);
    if (it == EmulatedBuses().end() || it->second == nullptr) {
        why = "no emulated bus named '" + std::string(name) + "'";
        return nullptr;
    }
    return std::make_unique<EmulatedProxy>(it->second);
}

}  // namespace vantor::boards

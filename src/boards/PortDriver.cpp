#include "boards/PortDriver.h"

#include <mutex>
#include <new>

#include "boards/PortBackends.h"
#include "platform/Trace.h"

namespace vantor::boards {
namespace {

// One module-wide failure text, cleared at each open. Opens run on the
// controlling thread, but a client's board may open on another: keep it locked.
std::mutex g_errorMutex;
std::string g_errorText;

void KeepError(const char* text) {
    std::lock_guard lock(g_errorMutex);
    g_errorText = text;
}

}  // namespace

int OpenPortDriver(const std::string& device, std::unique_ptr<PortHandle>& handle) {
    handle.reset();
    KeepError("");

    std::unique_ptr<PortHandle> record(new (std::nothrow) PortHandle);
    if (!record) {
        KeepError("Failed allocating memory\n");
        return 0;
    }
    std::string why;
    const PortBackend& backend = FindPortBackend(device);
    record->bus =
        backend.open(std::string_view(device).substr(std::string_view(backend.prefix).size()), why);
    if (!record->bus) {
        KeepError("Failed opening WinDriver device\n");
        platform::TraceAt(platform::TraceLevel::Warning, "port driver: %s\n", why.c_str());
        return 0;
    }
    int version = record->bus->Version();
    if (version != -1 && version < kMinDriverVersion) {
        KeepError("Incorrect WinDriver version\n");
        return 0;  // the record and its backend close on the way out
    }
    record->cardHandle = record->bus->Claim(kCardItemPort, kCardItemLength, false);
    if (record->cardHandle == 0) {
        KeepError("Failed locking device.\n");
        return 0;
    }
    handle = std::move(record);
    return 1;
}

void ClosePortDriver(std::unique_ptr<PortHandle>& handle) {
    if (!handle) return;
    if (handle->cardHandle != 0 && handle->bus) handle->bus->Release(handle->cardHandle);
    handle.reset();
}

bool PortReadByte(PortHandle* handle, int port, uint8_t& value) {
    return handle != nullptr && handle->bus && handle->bus->Read(port, value);
}

bool PortWriteByte(PortHandle* handle, int port, uint8_t value) {
    return handle != nullptr && handle->bus && handle->bus->Write(port, value);
}

PortLinkState PortLink(const PortHandle* handle) {
    return (handle != nullptr && handle->bus) ? handle->bus->Link() : PortLinkState{};
}

std::string PortDriverError() {
    std::lock_guard lock(g_errorMutex);
    return g_errorText;
}

}  // namespace vantor::boards

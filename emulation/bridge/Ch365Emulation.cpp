// An emulated CH365 bridge library: one bridge device (index 0) with a type
// 0x27 card behind its I/O window. Built into a folder of its own, so only a
// process that puts that folder on its library path reaches it in place of
// the vendor's library.
//
// Byte, word and double-word I/O go to the card; the memory window, the
// configuration space, interrupts and I2C are not emulated and fail.
#include <unistd.h>

#include <cstdint>

#include "emulation/Cards.h"
#include "emulation/IsaBus.h"

#define CH365_API extern "C" __attribute__((visibility("default")))

namespace {

constexpr uintptr_t kIoBase = 0xE000;
constexpr uint32_t kLibraryVersion = 0x21;

struct Bridge {
    Bridge() { bus.AddCard(std::make_unique<vantor::emulation::PciCard>(kIoBase)); }
    vantor::emulation::IsaBus bus;
    bool open = false;
    bool failOpen = false;
    int opens = 0;
};

Bridge& Device() {
    static Bridge bridge;
    return bridge;
}

bool Ready(uint32_t index) {
    return index == 0 && Device().open;
}

int32_t ReadBytes(uint32_t index, uintptr_t address, void* out, int n) {
    if (!Ready(index) || out == nullptr) return 0;
    uint32_t value = 0;
    for (int i = 0; i < n; ++i)
        value |= uint32_t{Device().bus.ReadPort(static_cast<int>(address) + i)} << (8 * i);
    auto* bytes = static_cast<uint8_t*>(out);
    for (int i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return 1;
}

int32_t WriteBytes(uint32_t index, uintptr_t address, uint32_t value, int n) {
    if (!Ready(index)) return 0;
    for (int i = 0; i < n; ++i)
        Device().bus.Write(static_cast<int>(address) + i, static_cast<uint8_t>(value >> (8 * i)));
    return 1;
}

}  // namespace

// An entry point the emulated bridge does not offer: it fails (0). A macro,
// because the C entry points are defined by name.
// NOLINTNEXTLINE(cppcoreguidelines-macro-usage)
#define CH365_NOT_OFFERED(type, name, ...) \
    CH365_API type name(__VA_ARGS__) {     \
        return 0;                          \
    }

CH365_API void* CH365mOpenDevice(uint32_t index, int32_t /*enableMemory*/,
                                 int32_t /*enableInterrupt*/) {
    auto* invalid = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
    if (index != 0 || Device().failOpen) return invalid;
    Device().open = true;
    ++Device().opens;
    return reinterpret_cast<void*>(uintptr_t{0x365});
}
CH365_API void CH365mCloseDevice(uint32_t index) {
    if (index == 0) Device().open = false;
}
CH365_NOT_OFFERED(uint32_t, CH365mDriverCommand, void*, uint32_t)
CH365_API int32_t CH365mGetIoBaseAddr(uint32_t index, uintptr_t* ioBase) {
    if (!Ready(index) || ioBase == nullptr) return 0;
    *ioBase = kIoBase;
    return 1;
}
// The I/O window is fixed.
CH365_NOT_OFFERED(int32_t, CH365mSetIoBaseAddr, uint32_t, uintptr_t)
CH365_NOT_OFFERED(int32_t, CH365mGetMemBaseAddr, uint32_t, uintptr_t*)
CH365_NOT_OFFERED(int32_t, CH365mSetMemBaseAddr, uint32_t, uintptr_t)
CH365_NOT_OFFERED(int32_t, CH365mGetIntLine, uint32_t, uint32_t*)
CH365_NOT_OFFERED(int32_t, CH365mSetIntLine, uint32_t, uint32_t)
CH365_NOT_OFFERED(int32_t, CH365mWaitInterrupt, uint32_t)
CH365_NOT_OFFERED(int32_t, CH365mAbortWaitInt, uint32_t)
CH365_NOT_OFFERED(int32_t, CH365mSetIntRoutine, uint32_t, void*)
CH365_NOT_OFFERED(int32_t, CH365mReadIntCommand, uint32_t, void*, uint32_t*)
CH365_NOT_OFFERED(int32_t, CH365mWriteIntCommand, uint32_t, void*, uint32_t)
CH365_API int32_t CH365mReadIoByte(uint32_t index, uintptr_t address, uint8_t* byte) {
    return ReadBytes(index, address, byte, 1);
}
CH365_API int32_t CH365mReadIoWord(uint32_t index, uintptr_t address, uint16_t* word) {
    return ReadBytes(index, address, word, 2);
}
CH365_API int32_t CH365mReadIoDword(uint32_t index, uintptr_t address, uint32_t* dword) {
    return ReadBytes(index, address, dword, 4);
}
CH365_API int32_t CH365mWriteIoByte(uint32_t index, uintptr_t address, uint8_t byte) {
    return WriteBytes(index, address, byte, 1);
}
CH365_API int32_t CH365mWriteIoWord(uint32_t index, uintptr_t address, uint16_t word) {
    return WriteBytes(index, address, word, 2);
}
CH365_API int32_t CH365mWriteIoDword(uint32_t index, uintptr_t address, uint32_t dword) {
    return WriteBytes(index, address, dword, 4);
}
CH365_NOT_OFFERED(int32_t, CH365mReadMemByte, uint32_t, uintptr_t, uint8_t*)
CH365_NOT_OFFERED(int32_t, CH365mReadMemDword, uint32_t, uintptr_t, uint32_t*)
CH365_NOT_OFFERED(int32_t, CH365mWriteMemByte, uint32_t, uintptr_t, uint8_t)
CH365_NOT_OFFERED(int32_t, CH365mWriteMemDword, uint32_t, uintptr_t, uint32_t)
CH365_NOT_OFFERED(int32_t, CH365mReadConfig, uint32_t, uint32_t, uint32_t*)
CH365_NOT_OFFERED(int32_t, CH365mWriteConfig, uint32_t, uint32_t, uint32_t)
CH365_NOT_OFFERED(int32_t, CH365mSetA15_A8, uint32_t, uint32_t)
CH365_NOT_OFFERED(int32_t, CH365mReadI2C, uint32_t, uint32_t, uint32_t, uint8_t*)
CH365_NOT_OFFERED(int32_t, CH365mWriteI2C, uint32_t, uint32_t, uint32_t, uint8_t)
CH365_API void CH365DelayUS(uint32_t microseconds) {
    ::usleep(microseconds);
}
CH365_NOT_OFFERED(int32_t, CH365mAccessBlock, uint32_t, uint32_t, uintptr_t, void*, uint32_t)
CH365_NOT_OFFERED(int32_t, CH365mSetExclusive, uint32_t, int32_t)
CH365_NOT_OFFERED(uintptr_t, CH365GetMemBaseAddr, uint32_t)
CH365_API uint32_t CH365GetVersion(void) {
    return kLibraryVersion;
}
#ifndef CH365_EMULATION_WITHOUT_DRIVER_VERSION
constexpr uint32_t kDriverVersion = 0x24;
CH365_API uint32_t CH365GetDrvVersion(void) {
    return kDriverVersion;
}
#endif

// --- test hooks, not part of the vendor's interface --------------------------

// The bus holding the card (an emulation::IsaBus; the card is at kIoBase).
CH365_API void* Ch365EmulationBus(void) {
    return &Device().bus;
}
// Non-zero: the next device opens report an invalid handle.
CH365_API void Ch365EmulationFailOpen(int32_t fail) {
    Device().failOpen = fail != 0;
}
// Whether the device is open, and how many opens succeeded.
CH365_API int32_t Ch365EmulationIsOpen(void) {
    return Device().open ? 1 : 0;
}
CH365_API int32_t Ch365EmulationOpens(void) {
    return Device().opens;
}

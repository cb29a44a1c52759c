#pragma once
// The C interface of the CH365 PCI bridge library (libch365.so) as this
// program calls it. Only the six entry points below are ever called; the
// other names are resolved when the library loads and left alone.
#include <cstdint>

extern "C" {
// Handle of the opened device, or kCh365InvalidHandle.
using Ch365OpenDeviceFn = void* (*)(uint32_t index, int32_t enableMemory, int32_t enableInterrupt);
using Ch365CloseDeviceFn = void (*)(uint32_t index);
// Non-zero on success; *ioBase is the card's I/O base address.
using Ch365GetIoBaseAddrFn = int32_t (*)(uint32_t index, uintptr_t* ioBase);
using Ch365ReadIoByteFn = int32_t (*)(uint32_t index, uintptr_t address, uint8_t* byte);
using Ch365WriteIoByteFn = int32_t (*)(uint32_t index, uintptr_t address, uint8_t byte);
using Ch365GetDrvVersionFn = uint32_t (*)();
}

namespace vantor::boards {

inline void* const kCh365InvalidHandle = reinterpret_cast<void*>(static_cast<intptr_t>(-1));

constexpr int kCh365EntryPointCount = 35;
// The names, in the order they are resolved.
extern const char* const kCh365EntryPoints[kCh365EntryPointCount];

}  // namespace vantor::boards

#include "boards/Ch365Library.h"

namespace vantor::boards {

const char* const kCh365EntryPoints[kCh365EntryPointCount] = {
    "CH365mOpenDevice",     "CH365mCloseDevice",     "CH365mDriverCommand",  "CH365mGetIoBaseAddr",
    "CH365mSetIoBaseAddr",  "CH365mGetMemBaseAddr",  "CH365mSetMemBaseAddr", "CH365mGetIntLine",
    "CH365mSetIntLine",     "CH365mWaitInterrupt",   "CH365mAbortWaitInt",   "CH365mSetIntRoutine",
    "CH365mReadIntCommand", "CH365mWriteIntCommand", "CH365mReadIoByte",     "CH365mReadIoWord",
    "CH365mReadIoDword",    "CH365mWriteIoByte",     "CH365mWriteIoWord",    "CH365mWriteIoDword",
    "CH365mReadMemByte",    "CH365mReadMemDword",    "CH365mWriteMemByte",   "CH365mWriteMemDword",
    "CH365mReadConfig",     "CH365mWriteConfig",     "CH365mSetA15_A8",      "CH365mReadI2C",
    "CH365mWriteI2C",       "CH365DelayUS",          "CH365mAccessBlock",    "CH365mSetExclusive",
    "CH365GetMemBaseAddr",  "CH365GetVersion",       "CH365GetDrvVersion",
};

namespace {
enum Entry {
    kOpenDevice = 0,
    kCloseDevice = 1,
    kGetIoBaseAddr = 3,
    kReadIoByte = 14,
    kWriteIoByte = 17,
    kGetDrvVersion = 34,
};
}  // namespace

bool Ch365Library::Load(const char* name) {
    Unload();
    auto lib = platform::DynamicLibrary::Open(name);
    if (!lib) return false;
    m_lib = std::move(lib.value());
    for (int i = 0; i < kCh365EntryPointCount; ++i)
        m_entries[static_cast<size_t>(i)] = m_lib.Symbol(kCh365EntryPoints[i]);
    if (m_entries[kGetDrvVersion] == nullptr) {
        Unload();
        return false;
    }
    return true;
}

void Ch365Library::Unload() {
    m_entries.fill(nullptr);
    m_lib.Close();
}

void* Ch365Library::EntryPoint(int i) const {
    return (i >= 0 && i < kCh365EntryPointCount) ? m_entries[static_cast<size_t>(i)] : nullptr;
}

bool Ch365Library::OpenDevice(uint32_t index) {
    auto fn = Get<Ch365OpenDeviceFn>(kOpenDevice);
    return fn != nullptr && fn(index, 1, 1) != kCh365InvalidHandle;
}

void Ch365Library::CloseDevice(uint32_t index) {
    if (auto fn = Get<Ch365CloseDeviceFn>(kCloseDevice)) fn(index);
}

bool Ch365Library::IoBase(uint32_t index, int32_t& base) {
    auto fn = Get<Ch365GetIoBaseAddrFn>(kGetIoBaseAddr);
    uintptr_t address = 0;
    if (fn == nullptr || fn(index, &address) == 0) return false;
    base = static_cast<int32_t>(address);
    return true;
}

void Ch365Library::ReadByte(uint32_t index, int32_t address, uint8_t& byte) {
    auto fn = Get<Ch365ReadIoByteFn>(kReadIoByte);
    uint8_t value = byte;
    if (fn != nullptr && fn(index, static_cast<uintptr_t>(address), &value) != 0) byte = value;
}

void Ch365Library::WriteByte(uint32_t index, int32_t address, uint8_t byte) {
    if (auto fn = Get<Ch365WriteIoByteFn>(kWriteIoByte))
        fn(index, static_cast<uintptr_t>(address), byte);
}

}  // namespace vantor::boards

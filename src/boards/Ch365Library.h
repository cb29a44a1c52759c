#pragma once
// The binding to the CH365 bridge library: loaded by a Board when it opens,
// unloaded when it closes. Each Board keeps its own resolved table, so no
// call ever goes into a library that its caller has unloaded.
#include <array>
#include <cstdint>

#include "boards/Ch365Api.h"
#include "platform/DynamicLibrary.h"

namespace vantor::boards {

constexpr const char* kCh365LibraryName = "libch365.so";

class Ch365Library {
public:
    // Loads the library by name through the normal search order and resolves
    // the 35 names. Available (true) when it loads and CH365GetDrvVersion
    // resolves; otherwise nothing stays loaded.
    bool Load(const char* name = kCh365LibraryName);
    void Unload();
    bool Loaded() const { return m_lib.IsLoaded(); }
    void* EntryPoint(int i) const;

    // false when the library reports an invalid handle (or is not loaded).
    bool OpenDevice(uint32_t index);
    void CloseDevice(uint32_t index);
    bool IoBase(uint32_t index, int32_t& base);
    // A failed read leaves byte as it was.
    void ReadByte(uint32_t index, int32_t address, uint8_t& byte);
    void WriteByte(uint32_t index, int32_t address, uint8_t byte);

private:
    template <typename Fn>
    Fn Get(int i) const {
        return reinterpret_cast<Fn>(m_entries[static_cast<size_t>(i)]);
    }
    platform::DynamicLibrary m_lib;
    std::array<void*, kCh365EntryPointCount> m_entries{};
};

}  // namespace vantor::boards

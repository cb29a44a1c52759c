#pragma once
// Code addresses to module, section and symbol, and a "may I read this?"
// check, for the crash handler. Everything lives in fixed static storage and
// uses only system calls and the loader's own tables; nothing allocates.
// Not thread-safe: the crash handler lets one thread at a time in.
#include <cstddef>
#include <cstdint>

namespace vantor::crash {

struct AddressInfo {
    // ELF section header index of the section that holds the address (1-based
    // as in the file: index 0 is the null section) or 0 when not found.
    unsigned section = 0;
    uint64_t offset = 0;           // from that section's start; 0 when not found
    const char* module = "";       // module path, "" when the address is in none
    const char* symbol = nullptr;  // exported function holding it, if any
    uint64_t symbolOffset = 0;
};

// Prepares the lookups outside of any handler: remembers the executable's
// path (the loader names the main program "") and resolves the loader entry
// points once, so the handler never runs lazy binding.
void InitAddressLookup(const char* executablePath);

// Forgets what was cached (modules may have come and gone since last time).
void ResetAddressLookup();

// Resolves addr. For a return address (every call-stack line but the first)
// the symbol is looked up at addr - 1, inside the call instruction, so that a
// call at the very end of a function still names that function.
void ResolveAddress(uintptr_t addr, bool returnAddress, AddressInfo& out);

// True when [addr, addr + length) lies in writable mappings of this process,
// found from /proc/self/maps without touching the memory itself.
bool IsWritableMemory(uintptr_t addr, size_t length);

}  // namespace vantor::crash

#pragma once
// Fatal signals to the Windows exception codes and names the report shows.
// Pure: depends only on its arguments, so the handler may call it.
#include <cstdint>

namespace vantor::crash {

struct Exception {
    uint32_t code;
    const char* name;  // static text, never nullptr
};

// sig and siCode as the handler's siginfo_t has them; faultAddress is its
// si_addr and stackPointer the faulting thread's stack pointer (both only
// matter for SIGSEGV, to tell a stack overflow from any other access).
// Signals and codes without a Windows counterpart get 0xE0000000 | sig and
// the signal's description.
Exception ClassifySignal(int sig, int siCode, uint64_t faultAddress, uint64_t stackPointer);

}  // namespace vantor::crash

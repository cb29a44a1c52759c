#include "crash/ExceptionCode.h"

#include <signal.h>
#include <string.h>

namespace vantor::crash {
namespace {

// A SIGSEGV this close to the stack pointer is the stack running out.
constexpr uint64_t kStackOverflowReach = uint64_t{256} * 1024;

// Signals without a Windows counterpart get 0xE0000000 | signal number: error
// severity with the customer bit, so they never collide with a system code.
constexpr uint32_t kOwnCodeBase = 0xE0000000u;

Exception OwnException(int sig) {
    const char* text = ::sigdescr_np(sig);
    return {kOwnCodeBase | static_cast<uint32_t>(sig), text != nullptr ? text : "Unknown signal"};
}

}  // namespace

Exception ClassifySignal(int sig, int siCode, uint64_t faultAddress, uint64_t stackPointer) {
    const bool fromKernel = siCode > 0;  // kill(), raise(), sigqueue() give codes <= 0
    switch (sig) {
        case SIGSEGV: {
            const uint64_t distance = faultAddress > stackPointer ? faultAddress - stackPointer
                                                                  : stackPointer - faultAddress;
            if (fromKernel && siCode != SI_KERNEL && distance <= kStackOverflowReach) {
                return {0xC00000FDu, "STACK_OVERFLOW"};
            }
            return {0xC0000005u, "ACCESS_VIOLATION"};
        }
        case SIGFPE:
            switch (siCode) {
                case FPE_INTDIV:
                    return {0xC0000094u, "INT_DIVIDE_BY_ZERO"};
                case FPE_INTOVF:
                    return {0xC0000095u, "INT_OVERFLOW"};
                case FPE_FLTDIV:
                    return {0xC000008Eu, "FLT_DIVIDE_BY_ZERO"};
                case FPE_FLTOVF:
                    return {0xC0000091u, "FLT_OVERFLOW"};
                case FPE_FLTUND:
                    return {0xC0000093u, "FLT_UNDERFLOW"};
                case FPE_FLTRES:
                    return {0xC000008Fu, "FLT_INEXACT_RESULT"};
                case FPE_FLTINV:
                    return {0xC0000090u, "FLT_INVALID_OPERATION"};
                case FPE_FLTSUB:
                    return {0xC000008Cu, "ARRAY_BOUNDS_EXCEEDED"};
                default:
                    return OwnException(sig);
            }
        case SIGILL:
            if (siCode == ILL_PRVOPC || siCode == ILL_PRVREG)
                return {0xC0000096u, "PRIV_INSTRUCTION"};
            return {0xC000001Du, "ILLEGAL_INSTRUCTION"};
        case SIGBUS:
            if (siCode == BUS_ADRALN) return {0x80000002u, "DATATYPE_MISALIGNMENT"};
            return {0xC0000006u, "IN_PAGE_ERROR"};
        default:
            return OwnException(sig);
    }
}

}  // namespace vantor::crash

// Fatal signal and si_code to exception code and name. The victim tests see a
// null write, an integer division, a stack overflow and an abort; this table
// holds the rest, and the edges of the stack-overflow reach.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdint>
#include <string>

#include "crash/ExceptionCode.h"

namespace vantor::crash {
namespace {

TEST(ClassifySignal, MapsSignalAndCodeToTheExceptionOfTheReport) {
    constexpr uint64_t kSp = 0x7FFF00000000;
    constexpr uint64_t kReach = 256 * 1024;
    const struct {
        int sig;
        int code;
        uint64_t addr;
        uint32_t expected;
        const char* name;
    } kCases[] = {
        {SIGSEGV, SEGV_MAPERR, kSp - kReach, 0xC00000FD, "STACK_OVERFLOW"},
        {SIGSEGV, SEGV_ACCERR, kSp + kReach, 0xC00000FD, "STACK_OVERFLOW"},
        {SIGSEGV, SEGV_MAPERR, kSp - kReach - 1, 0xC0000005, "ACCESS_VIOLATION"},
        {SIGSEGV, SI_KERNEL, kSp, 0xC0000005, "ACCESS_VIOLATION"},  // general protection
        {SIGSEGV, SI_USER, kSp, 0xC0000005, "ACCESS_VIOLATION"},    // kill(), not the stack
        {SIGFPE, FPE_INTOVF, 0, 0xC0000095, "INT_OVERFLOW"},
        {SIGFPE, FPE_FLTDIV, 0, 0xC000008E, "FLT_DIVIDE_BY_ZERO"},
        {SIGFPE, FPE_FLTOVF, 0, 0xC0000091, "FLT_OVERFLOW"},
        {SIGFPE, FPE_FLTUND, 0, 0xC0000093, "FLT_UNDERFLOW"},
        {SIGFPE, FPE_FLTRES, 0, 0xC000008F, "FLT_INEXACT_RESULT"},
        {SIGFPE, FPE_FLTINV, 0, 0xC0000090, "FLT_INVALID_OPERATION"},
        {SIGFPE, FPE_FLTSUB, 0, 0xC000008C, "ARRAY_BOUNDS_EXCEEDED"},
        {SIGFPE, SI_USER, 0, 0xE0000008, "Floating point exception"},
        {SIGILL, ILL_PRVOPC, 0, 0xC0000096, "PRIV_INSTRUCTION"},
        {SIGILL, ILL_PRVREG, 0, 0xC0000096, "PRIV_INSTRUCTION"},
        {SIGILL, ILL_ILLOPC, 0, 0xC000001D, "ILLEGAL_INSTRUCTION"},
        {SIGBUS, BUS_ADRALN, 0, 0x80000002, "DATATYPE_MISALIGNMENT"},
        {SIGBUS, BUS_ADRERR, 0, 0xC0000006, "IN_PAGE_ERROR"},
        {200, SI_USER, 0, 0xE00000C8, "Unknown signal"},  // no such signal
    };
    for (const auto& c : kCases) {
        const Exception ex = ClassifySignal(c.sig, c.code, c.addr, kSp);
        EXPECT_EQ(ex.code, c.expected) << c.sig << "/" << c.code << " " << c.name;
        EXPECT_EQ(std::string(ex.name), c.name) << c.sig << "/" << c.code;
    }
}

}  // namespace
}  // namespace vantor::crash

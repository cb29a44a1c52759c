#include "crash/ReportWriter.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include "crash/AddressInfo.h"
#include "crash/CrashIo.h"
#include "crash/CrashState.h"
#include "crash/SafeFormat.h"

#if !defined(__x86_64__)
#error "the crash reporter reads x86-64 signal contexts; add this machine's registers first"
#endif

namespace vantor::crash {
namespace {

constexpr char kCreateFailed[] = "创建崩溃记录文件失败\n";
constexpr char kRule[] = "//=====================================================\r\n";
constexpr char kBanner[] = "OSTRA崩溃监控/Ver1.0.0.1.20.10.09.29";
constexpr size_t kMaxSymbol = 256;

uint16_t LiveSelector(int which) {
    // DS, ES, FS and GS are not saved in a 64-bit signal frame; user code never
    // changes them, so the handler's own values are the faulting thread's.
    uint16_t v = 0;
    switch (which) {
        case 0:
            __asm__ __volatile__("mov %%ds, %0" : "=r"(v));
            break;
        case 1:
            __asm__ __volatile__("mov %%es, %0" : "=r"(v));
            break;
        case 2:
            __asm__ __volatile__("mov %%fs, %0" : "=r"(v));
            break;
        case 3:
            __asm__ __volatile__("mov %%gs, %0" : "=r"(v));
            break;
        default:
            __asm__ __volatile__("mov %%ss, %0" : "=r"(v));
            break;
    }
    return v;
}

void StackLine(uintptr_t pc, uintptr_t frame, bool returnAddress) {
    AddressInfo a;
    ResolveAddress(pc, returnAddress, a);
    SafeText t = Line();
    t.Hex(pc, 16).Text("  ").Hex(frame, 16).Text("  ").Hex(a.section, 4).Text(":");
    t.Hex(a.offset, 16).Text(" ").Text(a.module);
    if (a.symbol != nullptr) {
        t.Text(" (").Text(a.symbol, ::strnlen(a.symbol, kMaxSymbol)).Text("+0x");
        t.Hex(a.symbolOffset, 1).Text(")");
    }
    Emit(t.Text("\r\n"));
}

// Frame-pointer chain: [frame] holds the caller's frame, [frame + 8] the
// return address. Memory is checked against the mappings before it is read,
// and frames must climb, so a broken chain ends the walk instead of faulting.
void CallStack(uintptr_t pc, uintptr_t frame) {
    constexpr size_t kFrameBytes = 2 * sizeof(uintptr_t);
    bool returnAddress = false;
    for (;;) {
        StackLine(pc, frame, returnAddress);
        if (frame % sizeof(uintptr_t) != 0 || !IsWritableMemory(frame, kFrameBytes)) {
            return;
        }
        const uintptr_t previous = frame;
        pc = reinterpret_cast<const uintptr_t*>(frame)[1];
        frame = reinterpret_cast<const uintptr_t*>(frame)[0];
        returnAddress = true;
        if (frame % sizeof(uintptr_t) != 0 || frame <= previous ||
            !IsWritableMemory(frame, kFrameBytes)) {
            return;
        }
    }
}

}  // namespace

bool OpenReport() {
    if (g_state.reportPath[0] != '\0') {
        constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW;
        int fd = ::open(g_state.reportPath, kFlags, 0640);
        if (fd < 0 && errno == ENOENT) {  // removed since start-up
            ::mkdir(g_state.reportDir, 0750);
            fd = ::open(g_state.reportPath, kFlags, 0640);
        }
        g_state.reportFd = fd;
    } else {
        errno = ENAMETOOLONG;
    }
    if (g_state.reportFd >= 0) return true;
    const int err = errno;
    TraceRaw(kCreateFailed, sizeof kCreateFailed - 1);
    SafeText t = Line();
    t.Text("crash report: cannot create \"").Text(g_state.reportPath).Text("\" (errno ");
    t.Dec(static_cast<uint64_t>(err), 1).Text(")\n");
    TraceRaw(t.Data(), t.Size());
    return false;
}

void WriteReport(const Exception& ex, const ucontext_t* uc) {
    const greg_t* r = uc->uc_mcontext.gregs;
    auto reg = [r](int i) { return static_cast<uint64_t>(r[i]); };

    Emit(kRule);
    Emit(kBanner);
    Emit("\r\n\r\n");

    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const CivilTime ct = CivilFromSeconds(static_cast<int64_t>(now.tv_sec) + g_state.utcOffset);
    SafeText t = Line();
    t.Text("崩溃时间: ").Dec(static_cast<uint64_t>(ct.year), 4).Text("-");
    t.Dec(static_cast<uint64_t>(ct.month), 2).Text("-").Dec(static_cast<uint64_t>(ct.day), 2);
    t.Text(" ").Dec(static_cast<uint64_t>(ct.hour), 2).Text(":");
    t.Dec(static_cast<uint64_t>(ct.minute), 2).Text(":");
    Emit(t.Dec(static_cast<uint64_t>(ct.second), 2).Text("\r\n"));
    Emit(kRule);

    t = Line();
    Emit(t.Text("Exception code: ").Hex(ex.code, 8).Text(" ").Text(ex.name).Text("\r\n"));

    const uintptr_t pc = reg(REG_RIP);
    AddressInfo fault;
    ResolveAddress(pc, false, fault);
    t = Line();
    t.Text("Fault address:  ").Hex(pc, 16).Text(" ").Hex(fault.section, 2).Text(":");
    Emit(t.Hex(fault.offset, 16).Text(" ").Text(fault.module).Text("\r\n"));

    Emit("\r\nRegisters:\r\n");
    static constexpr struct {
        const char* label;
        int index;
    } kGeneral[] = {{"RAX:", REG_RAX}, {"RBX:", REG_RBX}, {"RCX:", REG_RCX}, {"RDX:", REG_RDX},
                    {"RSI:", REG_RSI}, {"RDI:", REG_RDI}, {"R8:", REG_R8},   {"R9:", REG_R9},
                    {"R10:", REG_R10}, {"R11:", REG_R11}, {"R12:", REG_R12}, {"R13:", REG_R13},
                    {"R14:", REG_R14}, {"R15:", REG_R15}};
    t = Line();
    for (const auto& g : kGeneral) t.Text(g.label).Hex(reg(g.index), 16).Text("\r\n");
    Emit(t);

    // CS, GS, FS and SS share one slot, 16 bits each; SS only when the kernel says so.
    constexpr unsigned long kSigcontextSs = 0x2;  // UC_SIGCONTEXT_SS
    const uint64_t segments = reg(REG_CSGSFS);
    const uint64_t ss =
        (uc->uc_flags & kSigcontextSs) != 0 ? (segments >> 48) & 0xFFFF : LiveSelector(4);
    t = Line();
    Emit(t.Text("CS:RIP:").Hex(segments & 0xFFFF, 4).Text(":").Hex(pc, 16).Text("\r\n"));
    t = Line();
    t.Text("SS:RSP:").Hex(ss, 4).Text(":").Hex(reg(REG_RSP), 16);
    Emit(t.Text("  RBP:").Hex(reg(REG_RBP), 16).Text("\r\n"));
    t = Line();
    t.Text("DS:").Hex(LiveSelector(0), 4).Text("  ES:").Hex(LiveSelector(1), 4);
    Emit(
        t.Text("  FS:").Hex(LiveSelector(2), 4).Text("  GS:").Hex(LiveSelector(3), 4).Text("\r\n"));
    t = Line();
    Emit(t.Text("Flags:").Hex(reg(REG_EFL), 16).Text("\r\n"));

    Emit("\r\nCall stack:\r\n");
    Emit("Address           Frame             Logical addr          Module\r\n");
    CallStack(pc, reg(REG_RBP));
    Emit("\r\n");
}

}  // namespace vantor::crash

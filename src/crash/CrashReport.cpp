#include "crash/CrashReport.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>

#include "crash/AddressInfo.h"
#include "crash/SafeFormat.h"
#include "platform/Paths.h"
#include "platform/Trace.h"

#if !defined(__x86_64__)
#error "the crash reporter reads x86-64 signal contexts; add this machine's registers first"
#endif

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves it undeclared

namespace {

using vantor::crash::AddressInfo;
using vantor::crash::SafeText;

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];

constexpr char kSupportContact[] = "support@vantor.example（来信请附上崩溃记录文件）";
constexpr char kNoticeCaption[] = "程序异常";
constexpr char kNoticeText[] =
    "OSTRA系统异常，对给您带来的不便表示歉意!!\r\n"
    "我们已经记录了错误相关信息，请联系我们\r\n"
    "以便获得进一步的技术支持，我们也会进一步改进服务\r\n"
    "\r\n"
    "技术支持电话:";
// Shows the notice on the desktop; installed next to the executable by the GUI build.
constexpr char kNoticeHelper[] = "vantor-crash-notice";
constexpr char kCreateFailed[] = "创建崩溃记录文件失败\n";
constexpr char kRule[] = "//=====================================================\r\n";
constexpr char kBanner[] = "OSTRA崩溃监控/Ver1.0.0.1.20.10.09.29";

// Room for a full Linux path and a symbol name on one call-stack line.
constexpr size_t kLineSize = 1024 + PATH_MAX + 512;
constexpr size_t kMaxSymbol = 256;
constexpr size_t kAltStackSize = size_t{64} * 1024;
// A SIGSEGV this close to the stack pointer is the stack running out.
constexpr uint64_t kStackOverflowReach = uint64_t{256} * 1024;
// A thread that faults while another one writes the report waits as long as
// the report makes progress, and ends the process itself after this pause.
constexpr long kStallLimitMs = 5000;
constexpr long kPollMs = 50;

// Signals without a Windows counterpart get 0xE0000000 | signal number: error
// severity with the customer bit, so they never collide with a system code.
constexpr uint32_t kOwnCodeBase = 0xE0000000u;

struct Exception {
    uint32_t code;
    const char* name;
};

// Everything the handler touches is here, built before the handlers go in.
struct State {
    struct sigaction previous[kSignalCount];
    char exePath[PATH_MAX];
    char moduleName[NAME_MAX + 1];
    char reportDir[PATH_MAX];
    char reportPath[PATH_MAX];
    char helperPath[PATH_MAX];
    long utcOffset;  // seconds east of UTC at start-up
    int reportFd;
    char line[kLineSize];
    char trace[kLineSize];
    char notice[1024];
};

State g_state;
std::atomic<bool> g_installed{false};
std::atomic<pid_t> g_reporter{0};     // thread writing the report, 0 before a crash
std::atomic<uint32_t> g_progress{0};  // pieces written so far
static_assert(std::atomic<pid_t>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);

void CopyText(char* dst, size_t capacity, const char* src) {
    size_t i = 0;
    for (; src[i] != '\0' && i + 1 < capacity; ++i) dst[i] = src[i];
    dst[i] = '\0';
}

// ---------------------------------------------------------------------------
// Output from inside the handler: write(2) only.

void WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        length -= static_cast<size_t>(n);
    }
}

// The trace gets the text with plain "\n" line ends: journald files lines
// with carriage returns as binary blobs.
void TraceRaw(const char* text, size_t length) {
    size_t n = 0;
    for (size_t i = 0; i < length && n < sizeof g_state.trace; ++i) {
        if (text[i] != '\r') g_state.trace[n++] = text[i];
    }
    WriteAll(STDERR_FILENO, g_state.trace, n);
}

SafeText Line() {
    return SafeText(g_state.line, sizeof g_state.line);
}

// One piece of the report: to the file while it is open, and to the trace.
void Emit(const SafeText& t) {
    if (g_state.reportFd >= 0) WriteAll(g_state.reportFd, t.Data(), t.Size());
    TraceRaw(t.Data(), t.Size());
    g_progress.fetch_add(1, std::memory_order_relaxed);
}

void Emit(const char* text) {
    SafeText t = Line();
    Emit(t.Text(text));
}

// ---------------------------------------------------------------------------
// Signal to Windows exception code.

Exception OwnException(int sig) {
    const char* text = ::sigdescr_np(sig);
    return {kOwnCodeBase | static_cast<uint32_t>(sig), text != nullptr ? text : "Unknown signal"};
}

Exception Classify(int sig, const siginfo_t* info, const ucontext_t* uc) {
    const int code = info->si_code;
    const bool fromKernel = code > 0;  // kill(), raise(), sigqueue() give codes <= 0
    switch (sig) {
        case SIGSEGV: {
            const auto fault = reinterpret_cast<uint64_t>(info->si_addr);
            const auto sp = static_cast<uint64_t>(uc->uc_mcontext.gregs[REG_RSP]);
            const uint64_t distance = fault > sp ? fault - sp : sp - fault;
            if (fromKernel && code != SI_KERNEL && distance <= kStackOverflowReach) {
                return {0xC00000FDu, "STACK_OVERFLOW"};
            }
            return {0xC0000005u, "ACCESS_VIOLATION"};
        }
        case SIGFPE:
            switch (code) {
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
            if (code == ILL_PRVOPC || code == ILL_PRVREG) return {0xC0000096u, "PRIV_INSTRUCTION"};
            return {0xC000001Du, "ILLEGAL_INSTRUCTION"};
        case SIGBUS:
            if (code == BUS_ADRALN) return {0x80000002u, "DATATYPE_MISALIGNMENT"};
            return {0xC0000006u, "IN_PAGE_ERROR"};
        default:
            return OwnException(sig);
    }
}

// ---------------------------------------------------------------------------
// The report.

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

void StackLine(uintptr_t pc, uintptr_t frame, bool returnAddress) {
    AddressInfo a;
    vantor::crash::ResolveAddress(pc, returnAddress, a);
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
        if (frame % sizeof(uintptr_t) != 0 ||
            !vantor::crash::IsWritableMemory(frame, kFrameBytes)) {
            return;
        }
        const uintptr_t previous = frame;
        pc = reinterpret_cast<const uintptr_t*>(frame)[1];
        frame = reinterpret_cast<const uintptr_t*>(frame)[0];
        returnAddress = true;
        if (frame % sizeof(uintptr_t) != 0 || frame <= previous ||
            !vantor::crash::IsWritableMemory(frame, kFrameBytes)) {
            return;
        }
    }
}

void WriteReport(const Exception& ex, const ucontext_t* uc) {
    const greg_t* r = uc->uc_mcontext.gregs;
    auto reg = [r](int i) { return static_cast<uint64_t>(r[i]); };

    Emit(kRule);
    Emit(kBanner);
    Emit("\r\n\r\n");

    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const vantor::crash::CivilTime ct =
        vantor::crash::CivilFromSeconds(static_cast<int64_t>(now.tv_sec) + g_state.utcOffset);
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
    vantor::crash::ResolveAddress(pc, false, fault);
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

// ---------------------------------------------------------------------------
// The operator notice.

const char* EnvValue(const char* name) {
    const size_t n = ::strlen(name);
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        if (::strncmp(*e, name, n) == 0 && (*e)[n] == '=') return *e + n + 1;
    }
    return nullptr;
}

bool HasDisplay() {
    const char* x11 = EnvValue("DISPLAY");
    const char* wayland = EnvValue("WAYLAND_DISPLAY");
    return (x11 != nullptr && x11[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
}

pid_t ForkSafely() {
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 34)
    return ::_Fork();
#else
    return static_cast<pid_t>(::syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0));
#endif
}

// The helper: vantor-crash-notice <caption> <text> <report path>. Runs in a
// process of its own, so showing a window never happens inside this one.
bool SpawnHelper() {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    const pid_t pid = ForkSafely();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (pid == 0) {
        // Nothing of the crashed server may live on in the helper: an inherited
        // lock file would keep a restarted server from starting.
        const int report = pipeFds[1];
        if (report > 3) ::close_range(3, static_cast<unsigned>(report) - 1, 0);
        ::close_range(static_cast<unsigned>(report) + 1, ~0u, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::setsid();
        const char* argv[] = {g_state.helperPath, kNoticeCaption, g_state.notice,
                              g_state.reportPath, nullptr};
        ::execve(g_state.helperPath, const_cast<char* const*>(argv), environ);
        const int err = errno;
        WriteAll(report, reinterpret_cast<const char*>(&err), sizeof err);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    int err = 0;
    ssize_t n = 0;
    do {
        n = ::read(pipeFds[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    if (n == static_cast<ssize_t>(sizeof err)) {  // exec failed
        ::waitpid(pid, nullptr, 0);
        return false;
    }
    return true;  // the helper outlives us and is reaped by whoever inherits it
}

void TellOperator() {
    SafeText t(g_state.notice, sizeof g_state.notice);
    for (const char* p = kNoticeText; *p != '\0'; ++p) {
        if (*p != '\r') t.Text(p, 1);
    }
    t.Text(kSupportContact);
    if (HasDisplay() && ::access(g_state.helperPath, X_OK) == 0 && SpawnHelper()) return;

    SafeText out(g_state.trace, sizeof g_state.trace);
    out.Text(kNoticeCaption).Text("\n").Text(g_state.notice).Text("\n");
    WriteAll(STDERR_FILENO, out.Data(), out.Size());
}

// ---------------------------------------------------------------------------
// The handler.

[[noreturn]] void Die(int sig) {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    (void)::raise(sig);
    ::_exit(128 + sig);  // only if the signal was ignored after all
}

void AwaitReporter() {
    uint32_t seen = g_progress.load();
    for (long stalled = 0; stalled < kStallLimitMs;) {
        timespec pause{0, kPollMs * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
        const uint32_t now = g_progress.load();
        stalled = now == seen ? stalled + kPollMs : 0;
        seen = now;
    }
}

void OnFatalSignal(int sig, siginfo_t* info, void* context) {
    const pid_t self = ::gettid();
    pid_t owner = 0;
    if (!g_reporter.compare_exchange_strong(owner, self)) {
        // Another thread is writing the report and will end the process; a
        // fault of the reporting thread itself ends it at once.
        if (owner != self) AwaitReporter();
        Die(sig);
    }
    const auto* uc = static_cast<const ucontext_t*>(context);
    g_state.reportFd = -1;
    vantor::crash::ResetAddressLookup();
    if (OpenReport()) {
        WriteReport(Classify(sig, info, uc), uc);
        ::close(g_state.reportFd);
        g_state.reportFd = -1;
        TellOperator();
    }
    Die(sig);
}

// ---------------------------------------------------------------------------
// Alternate signal stacks.

class AltStack {
public:
    AltStack() = default;
    AltStack(const AltStack&) = delete;
    AltStack& operator=(const AltStack&) = delete;

    ~AltStack() {
        if (m_map == nullptr) return;
        stack_t current{};
        if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == Top() &&
            (current.ss_flags & SS_DISABLE) == 0) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            if (::sigaltstack(&off, nullptr) != 0) return;  // still in use: leave it mapped
        }
        ::munmap(m_map, m_guard + kAltStackSize);
    }

    bool Ensure() {
        stack_t current{};
        if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) {
            return true;  // ours from before, or one that someone else installed
        }
        m_guard = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        void* map = ::mmap(nullptr, m_guard + kAltStackSize, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (map == MAP_FAILED) return false;
        // A guard page below, so that a handler overrunning it faults cleanly.
        ::mprotect(map, m_guard, PROT_NONE);
        if (m_map != nullptr) ::munmap(m_map, m_guard + kAltStackSize);  // disabled meanwhile
        m_map = map;
        stack_t ss{};
        ss.ss_sp = Top();
        ss.ss_size = kAltStackSize;
        if (::sigaltstack(&ss, nullptr) != 0) {
            ::munmap(m_map, m_guard + kAltStackSize);
            m_map = nullptr;
            return false;
        }
        return true;
    }

private:
    void* Top() const { return static_cast<char*>(m_map) + m_guard; }

    void* m_map = nullptr;
    size_t m_guard = 0;
};

thread_local AltStack t_altStack;

}  // namespace

// ---------------------------------------------------------------------------

CCrashReport::CCrashReport() {
    bool expected = false;
    if (!g_installed.compare_exchange_strong(expected, true)) {
        vantor::platform::TraceText("crash reporter already installed: this one stays inactive\n");
        return;
    }
    m_bInstalled = true;
    g_state.reportFd = -1;

    // Module name: the executable's file name, after the full path went to the trace.
    ssize_t n = ::readlink("/proc/self/exe", g_state.exePath, sizeof g_state.exePath - 1);
    g_state.exePath[n > 0 ? n : 0] = '\0';
    const std::string exePath = g_state.exePath;
    const size_t slash = exePath.rfind('/');
    const std::string name = slash == std::string::npos ? exePath : exePath.substr(slash + 1);
    CopyText(g_state.moduleName, sizeof g_state.moduleName, name.c_str());
    vantor::platform::TraceText(exePath + "\n");
    vantor::platform::TraceText(std::string(g_state.moduleName) + "\n");
    vantor::platform::TraceText(std::string(g_state.moduleName) + "\n");

    // The report's name carries the start time, so it is fixed now.
    const time_t start = ::time(nullptr);
    tm local{};
    ::localtime_r(&start, &local);
    g_state.utcOffset = local.tm_gmtoff;
    char stamp[64];
    (void)std::snprintf(stamp, sizeof stamp, "%04d_%02d_%02d_%02d_%02d_%02d", local.tm_year + 1900,
                        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const std::string dir = vantor::platform::CrashDir();
    const std::string path = dir + "/错误报告_" + g_state.moduleName + "." + stamp + ".TXT";
    g_state.reportPath[0] = '\0';
    g_state.reportDir[0] = '\0';
    if (path.size() < sizeof g_state.reportPath) {
        CopyText(g_state.reportPath, sizeof g_state.reportPath, path.c_str());
        CopyText(g_state.reportDir, sizeof g_state.reportDir, dir.c_str());
    } else {
        vantor::platform::TraceText("crash report path too long: " + path + "\n");
    }
    if (!vantor::platform::MakeDirs(dir)) {
        vantor::platform::TraceText("crash report directory cannot be created: " + dir + "\n");
    }

    const std::string helper =
        exePath.substr(0, slash == std::string::npos ? 0 : slash + 1) + kNoticeHelper;
    g_state.helperPath[0] = '\0';
    if (helper.size() < sizeof g_state.helperPath) {
        CopyText(g_state.helperPath, sizeof g_state.helperPath, helper.c_str());
    }

    vantor::crash::InitAddressLookup(g_state.exePath);
    PrepareThread();

    struct sigaction act {};
    act.sa_sigaction = OnFatalSignal;
    act.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // The fatal signals stay blocked in the handler: a fault inside it ends
    // the process by the default action instead of recursing.
    sigemptyset(&act.sa_mask);
    for (int sig : kSignals) sigaddset(&act.sa_mask, sig);
    for (size_t i = 0; i < kSignalCount; ++i) {
        ::sigaction(kSignals[i], &act, &g_state.previous[i]);
    }
}

CCrashReport::~CCrashReport() {
    if (!m_bInstalled) return;
    for (size_t i = 0; i < kSignalCount; ++i) {
        ::sigaction(kSignals[i], &g_state.previous[i], nullptr);
    }
    g_installed.store(false);
}

const char* CCrashReport::ModuleName() const {
    return m_bInstalled ? g_state.moduleName : "";
}

const char* CCrashReport::ReportPath() const {
    return m_bInstalled ? g_state.reportPath : "";
}

bool CCrashReport::PrepareThread() {
    return t_altStack.Ensure();
}

const char* CCrashReport::SupportContact() {
    return kSupportContact;
}

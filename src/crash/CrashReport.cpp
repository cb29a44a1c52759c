// Installation of the crash reporter and the fatal-signal handler itself.
#include "crash/CrashReport.h"

#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "crash/AddressInfo.h"
#include "crash/CrashIo.h"
#include "crash/CrashState.h"
#include "crash/ExceptionCode.h"
#include "crash/OperatorNotice.h"
#include "crash/ReportWriter.h"
#include "platform/Paths.h"
#include "platform/Trace.h"

#if !defined(__x86_64__)
#error "the crash reporter reads x86-64 signal contexts; add this machine's registers first"
#endif

namespace vantor::crash {
namespace {

// A thread that faults while another one writes the report waits as long as
// the report makes progress, and ends the process itself after this pause.
constexpr long kStallLimitMs = 5000;
constexpr long kPollMs = 50;

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
    ResetAddressLookup();
    if (OpenReport()) {
        const auto fault = reinterpret_cast<uint64_t>(info->si_addr);
        const auto sp = static_cast<uint64_t>(uc->uc_mcontext.gregs[REG_RSP]);
        WriteReport(ClassifySignal(sig, info->si_code, fault, sp), uc);
        ::close(g_state.reportFd);
        g_state.reportFd = -1;
        TellOperator();
    }
    Die(sig);
}

}  // namespace
}  // namespace vantor::crash

// ---------------------------------------------------------------------------

using vantor::crash::CopyText;
using vantor::crash::g_installed;
using vantor::crash::g_state;
using vantor::crash::kSignalCount;
using vantor::crash::kSignals;

CCrashReport::CCrashReport() {
    bool expected = false;
    if (!g_installed.compare_exchange_strong(expected, true)) {
        vantor::platform::TraceTextAt(
            vantor::platform::TraceLevel::Warning,
            "crash reporter already installed: this one stays inactive\n");
        return;
    }
    m_bInstalled = true;
    g_state.reportFd = -1;
    g_state.journal = vantor::platform::StderrIsJournal();
    g_state.traceLineStart = true;

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
        vantor::platform::TraceTextAt(vantor::platform::TraceLevel::Error,
                                      "crash report path too long: " + path + "\n");
    }
    if (!vantor::platform::MakeDirs(dir)) {
        vantor::platform::TraceTextAt(vantor::platform::TraceLevel::Error,
                                      "crash report directory cannot be created: " + dir + "\n");
    }

    const std::string helper = exePath.substr(0, slash == std::string::npos ? 0 : slash + 1) +
                               vantor::crash::kNoticeHelper;
    g_state.helperPath[0] = '\0';
    if (helper.size() < sizeof g_state.helperPath) {
        CopyText(g_state.helperPath, sizeof g_state.helperPath, helper.c_str());
    }

    vantor::crash::InitAddressLookup(g_state.exePath);
    PrepareThread();

    struct sigaction act {};
    act.sa_sigaction = vantor::crash::OnFatalSignal;
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

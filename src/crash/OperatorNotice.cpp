#include "crash/OperatorNotice.h"

#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "crash/CrashIo.h"
#include "crash/CrashReport.h"
#include "crash/CrashState.h"
#include "crash/SafeFormat.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves it undeclared

namespace vantor::crash {
namespace {

constexpr char kSupportContact[] = "support@vantor.example（来信请附上崩溃记录文件）";
constexpr char kNoticeCaption[] = "程序异常";
constexpr char kNoticeText[] =
    "OSTRA系统异常，对给您带来的不便表示歉意!!\r\n"
    "我们已经记录了错误相关信息，请联系我们\r\n"
    "以便获得进一步的技术支持，我们也会进一步改进服务\r\n"
    "\r\n"
    "技术支持电话:";

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
        // The child of fork has one thread.
        ::sigprocmask(SIG_SETMASK, &none, nullptr);  // NOLINT(concurrency-mt-unsafe)
        ::setsid();
        const char* argv[] = {g_state.helperPath, kNoticeCaption, g_state.notice,
                              g_state.reportPath, nullptr};
        // execve takes char* const[] for C's sake and never writes through it.
        ::execve(g_state.helperPath, const_cast<char* const*>(argv),  // NOLINT(*-const-cast)
                 environ);
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

}  // namespace

void TellOperator() {
    SafeText t(g_state.notice, sizeof g_state.notice);
    for (const char* p = kNoticeText; *p != '\0'; ++p) {
        if (*p != '\r') t.Text(p, 1);
    }
    t.Text(kSupportContact);
    if (HasDisplay() && ::access(g_state.helperPath, X_OK) == 0 && SpawnHelper()) return;

    SafeText out = Line();
    out.Text(kNoticeCaption).Text("\n").Text(g_state.notice).Text("\n");
    TraceRaw(out.Data(), out.Size());
}

}  // namespace vantor::crash

const char* CCrashReport::SupportContact() {
    return vantor::crash::kSupportContact;
}

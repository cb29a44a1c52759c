#include "ServerLauncher.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/InstallLayout.h"
#include "platform/Paths.h"
#include "platform/UniqueFd.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace vantor::client {

std::string ServerDir() {
    if (const char* dir = std::getenv("VANTOR_SERVER_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    const std::string bin = platform::ProgramDirForLibrary(
        platform::ModuleDirOf(reinterpret_cast<const void*>(&ServerDir)));
    return bin.empty() ? platform::ExecutableDir() : bin;
}

Launch StartServer(const std::string& program) {
    if (::access(program.c_str(), X_OK) != 0) return Launch::kMissing;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool headless =
        (display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0');
    // Everything the children use is made before fork: between fork and exec
    // only async-signal-safe calls are allowed.
    std::vector<std::string> args{program};
    if (headless) args.emplace_back("--headless");
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return Launch::kFailed;
    platform::UniqueFd readEnd(report[0]);
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[1]);
        return Launch::kFailed;
    }
    if (child == 0) {
        // The middle process leaves at once, so the server is nobody's child
        // to reap, and no terminal signal of the client reaches it.
        const pid_t server = ::fork();
        if (server < 0) {
            const int err = errno;
            [[maybe_unused]] const ssize_t sent = ::write(report[1], &err, sizeof err);
            ::_exit(127);
        }
        if (server > 0) ::_exit(0);
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            if (null > 2) ::close(null);
        }
        ::execve(argv[0], argv.data(), environ);
        const int err = errno;
        [[maybe_unused]] const ssize_t sent = ::write(report[1], &err, sizeof err);
        ::_exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes on a successful exec; an error number comes back otherwise.
    int err = 0;
    ssize_t n = 0;
    do {
        n = ::read(readEnd.Get(), &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return Launch::kStarted;
    return (err == ENOENT || err == ENOTDIR || err == ENOEXEC || err == EACCES) ? Launch::kMissing
                                                                                : Launch::kFailed;
}

}  // namespace vantor::client

#include "platform/Paths.h"

#include <dlfcn.h>
#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace vantor::platform {
namespace {

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    passwd entry{};
    passwd* pw = nullptr;
    char buffer[4096];
    ::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &pw);
    return (pw != nullptr && pw->pw_dir != nullptr) ? std::string(pw->pw_dir) : std::string("/tmp");
}

std::string FromEnv(const char* own, const char* xdg, const char* fallback) {
    const char* v = std::getenv(own);
    if (v != nullptr && v[0] != '\0') return v;
    const char* x = std::getenv(xdg);
    if (x != nullptr && x[0] == '/') return std::string(x) + "/vantor";
    return HomeDir() + fallback;
}

std::string DirName(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

std::string ConfigDir() {
    return FromEnv("VANTOR_CONFIG_DIR", "XDG_CONFIG_HOME", "/.config/vantor");
}

std::string CrashDir() {
    return FromEnv("VANTOR_CRASH_DIR", "XDG_STATE_HOME", "/.local/state/vantor");
}

std::string ModulePathOf(const void* addr) {
    Dl_info info{};
    if (::dladdr(addr, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0') {
        return {};
    }
    std::string path = info.dli_fname;
    // The main program may be reported by its invocation name: resolve it.
    if (path.find('/') == std::string::npos) {
        char buf[PATH_MAX];
        ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0) return {};
        buf[n] = '\0';
        return buf;
    }
    std::error_code ec;
    auto canon = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : canon.string();
}

std::string ModuleDirOf(const void* addr) {
    return DirName(ModulePathOf(addr));
}

std::string ExecutableDir() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    buf[n] = '\0';
    return DirName(buf);
}

bool MakeDirs(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return std::filesystem::is_directory(dir, ec);
}

}  // namespace vantor::platform

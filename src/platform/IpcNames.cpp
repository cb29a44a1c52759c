#include "platform/IpcNames.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vantor::platform {
namespace {

bool SafeNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

// Creates dir with mode 0700 if missing; accepts it only when it is a
// directory owned by us that nobody else can enter.
bool EnsurePrivateDir(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    if ((st.st_mode & 0077) != 0 && ::chmod(dir.c_str(), 0700) != 0) return false;
    return true;
}

}  // namespace

std::string IpcNamespace() {
    const char* ns = std::getenv("VANTOR_IPC_NAMESPACE");
    std::string out;
    if (ns == nullptr) return out;
    for (const char* p = ns; *p != '\0' && out.size() < 64; ++p) {
        if (SafeNameChar(*p)) out.push_back(*p);
    }
    return out;
}

std::string ShmName(std::string_view base) {
    std::string name = "/";
    name += IpcNamespace();
    name += base;
    return name;
}

std::string RuntimeDirPath() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/vantor";
    return "/tmp/vantor-" + std::to_string(::getuid());
}

std::string RuntimeDir() {
    std::string dir = RuntimeDirPath();
    return EnsurePrivateDir(dir) ? dir : std::string();
}

}  // namespace vantor::platform

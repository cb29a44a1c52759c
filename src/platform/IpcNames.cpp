#include "platform/IpcNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/UniqueFd.h"

namespace vantor::platform {
namespace {

bool SafeNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
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

Result<std::string> PrivateRuntimeDir() {
    const std::string dir = RuntimeDirPath();
    const std::string what = "runtime directory " + dir;
    const bool created = ::mkdir(dir.c_str(), 0700) == 0;
    if (!created && errno != EEXIST) return ErrnoError(what + " cannot be created", errno);
    // Never through a symbolic link: whoever planted it would choose where
    // our sockets and lock go.
    const UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Valid()) {
        if (errno == ELOOP || errno == ENOTDIR) {
            return Error{ENOTDIR,
                         what + " is a symbolic link or not a directory: refusing to use it"};
        }
        return ErrnoError(what + " cannot be opened", errno);
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return ErrnoError("fstat " + what, errno);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    // The effective user: the one mkdir made the directory for.
    if (st.st_uid != ::geteuid()) {
        return Error{EACCES, what + " (mode " + mode + ") is owned by uid " +
                                 std::to_string(st.st_uid) + ", not by you (uid " +
                                 std::to_string(::geteuid()) + "): refusing to use it"};
    }
    if (created) {
        // The umask may have taken bits of our own 0700.
        if (::fchmod(fd.Get(), 0700) != 0) return ErrnoError("chmod 0700 " + what, errno);
    } else if ((st.st_mode & 0077) != 0) {
        // Whoever could enter it may have left a socket of theirs under a title of ours.
        return Error{EACCES, what + " has mode " + mode +
                                 ": others may have used it; refusing to use it (remove it, it "
                                 "is made anew)"};
    }
    return dir;
}

std::string RuntimeDir() {
    auto dir = PrivateRuntimeDir();
    return dir ? std::move(dir.value()) : std::string();
}

}  // namespace vantor::platform

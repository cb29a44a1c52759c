#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/IpcNames.h"

namespace vantor::platform {

namespace {

// Why the runtime directory at dir was refused, for the operator.
Error Unusable(const std::string& dir) {
    const std::string what = "runtime directory " + dir;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) return ErrnoError(what + " cannot be created", errno);
    if (!S_ISDIR(st.st_mode)) return Error{ENOTDIR, what + " is not a directory"};
    if (st.st_uid != ::getuid()) {
        return Error{EACCES, what + " belongs to uid " + std::to_string(st.st_uid) +
                                 ", not to this user (uid " + std::to_string(::getuid()) + ")"};
    }
    return Error{EACCES, what + " cannot be made private (mode 0700)"};
}

}  // namespace

Result<InstanceLock> InstanceLock::Acquire(const std::string& name) {
    std::string dir = RuntimeDir();
    if (dir.empty()) return Unusable(RuntimeDirPath());
    std::string path = dir + "/" + IpcNamespace() + name + ".lock";
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.Valid()) return ErrnoError("open " + path, errno);
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        if (err == EWOULDBLOCK) return Error{kHeldElsewhere, "another instance holds " + path};
        return ErrnoError("flock " + path, err);
    }
    InstanceLock lock;
    lock.m_fd = std::move(fd);
    return lock;
}

}  // namespace vantor::platform

#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/IpcNames.h"

namespace vantor::platform {

Result<InstanceLock> InstanceLock::Acquire(const std::string& name) {
    auto dir = PrivateRuntimeDir();
    if (!dir) return dir.error();
    std::string path = dir.value() + "/" + IpcNamespace() + name + ".lock";
    // Only a plain file of ours: a link or FIFO in its place is not followed.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd.Valid()) return ErrnoError("open " + path, errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return ErrnoError("fstat " + path, errno);
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        return Error{EACCES, "lock file " + path + " is not a plain file of yours (owner uid " +
                                 std::to_string(st.st_uid) + "): refusing to use it"};
    }
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

#include "platform/SharedMemoryObject.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

namespace vantor::platform {
namespace {
// Owner and group only: the group is how another program of the site reads the block.
constexpr mode_t kObjectMode = 0660;
}  // namespace

SharedMemoryObject::~SharedMemoryObject() {
    Release();
}

SharedMemoryObject::SharedMemoryObject(SharedMemoryObject&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_fd(std::move(other.m_fd)),
      m_name(std::move(other.m_name)) {}

SharedMemoryObject& SharedMemoryObject::operator=(SharedMemoryObject&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_fd = std::move(other.m_fd);
        m_name = std::move(other.m_name);
    }
    return *this;
}

void SharedMemoryObject::Release() {
    if (m_data != nullptr) ::munmap(m_data, m_size);
    m_fd.Reset();
    m_data = nullptr;
    m_size = 0;
}

Result<SharedMemoryObject> SharedMemoryObject::Map(const std::string& name, UniqueFd fd,
                                                   size_t size) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.Get(), 0);
    if (p == MAP_FAILED) return ErrnoError("mmap " + name, errno);
    SharedMemoryObject obj;
    obj.m_data = p;
    obj.m_size = size;
    obj.m_fd = std::move(fd);
    obj.m_name = name;
    return obj;
}

namespace {

std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

bool TrustedOwner(uid_t uid, SharedMemoryObject::Owner owner) {
    if (uid == ::geteuid()) return true;
    return owner == SharedMemoryObject::Owner::kThisUserOrRoot && uid == 0;
}

// Refuses an existing object that is not a plain file of ours to share.
Result<struct stat> CheckExisting(const std::string& name, int fd,
                                  SharedMemoryObject::Owner owner) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return ErrnoError("fstat " + name, errno);
    const std::string what = "shared memory " + name + " (owner uid " + std::to_string(st.st_uid) +
                             ", mode " + ModeText(st.st_mode) + ")";
    if (!S_ISREG(st.st_mode)) {
        return Error{kUnsafeObject, what + " is not a regular object: refusing to use it"};
    }
    if (!TrustedOwner(st.st_uid, owner)) {
        return Error{kUnsafeObject, what + " is owned by uid " + std::to_string(st.st_uid) +
                                        ", not by you (uid " + std::to_string(::geteuid()) +
                                        "): refusing to use it"};
    }
    if ((st.st_mode & 07777 & ~kObjectMode) != 0) {
        return Error{kUnsafeObject, what + " allows more than " + ModeText(kObjectMode) +
                                        " (others may reach it): refusing to use it"};
    }
    return st;
}

// Mode and size of an object we have just made; removed again when they cannot be set.
std::optional<Error> PrepareNew(const std::string& name, int fd, size_t size) {
    // The umask neither strips the group bits nor leaves anything but exactly 0660.
    if (::fchmod(fd, kObjectMode) != 0) {
        const Error failed = ErrnoError("fchmod " + name, errno);
        ::shm_unlink(name.c_str());
        return failed;
    }
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        return ErrnoError("ftruncate " + name, errno);
    }
    return std::nullopt;
}

}  // namespace

Result<SharedMemoryObject> SharedMemoryObject::CreateOrOpen(const std::string& name, size_t size,
                                                            Owner owner) {
    if (size == 0) return Error{EINVAL, "shared memory " + name + ": size 0"};
    // glibc's shm_open adds O_NOFOLLOW: a symbolic link in its place is refused.
    UniqueFd fd;
    for (int attempt = 0; !fd.Valid() && attempt < 3; ++attempt) {
        fd.Reset(::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kObjectMode));
        if (fd.Valid()) {
            if (auto failed = PrepareNew(name, fd.Get(), size)) return *failed;
            return Map(name, std::move(fd), size);
        }
        if (errno != EEXIST) return ErrnoError("shm_open " + name, errno);
        // Another process made it first; it may remove it again before we
        // open it, then we try to create it once more.
        fd.Reset(::shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0));
        if (!fd.Valid() && (errno == EACCES || errno == ELOOP)) {
            return Error{kUnsafeObject,
                         "shared memory " + name + " exists but is " +
                             (errno == ELOOP ? "a symbolic link" : "not ours to open") +
                             ": it was left by another user or program; refusing to use it"};
        }
        if (!fd.Valid() && errno != ENOENT) return ErrnoError("shm_open " + name, errno);
    }
    if (!fd.Valid()) return ErrnoError("shm_open " + name, ENOENT);
    auto st = CheckExisting(name, fd.Get(), owner);
    if (!st) return st.error();
    // Growing is safe when two processes race: both ask for the same size and
    // ftruncate never shrinks below what the other one set.
    if (static_cast<size_t>(st.value().st_size) < size &&
        ::ftruncate(fd.Get(), static_cast<off_t>(size)) != 0) {
        return ErrnoError("ftruncate " + name, errno);
    }
    return Map(name, std::move(fd), size);
}

Result<SharedMemoryObject> SharedMemoryObject::OpenExisting(const std::string& name, size_t size,
                                                            Owner owner) {
    UniqueFd fd(::shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0));
    if (!fd.Valid()) return ErrnoError("shm_open " + name, errno);
    auto st = CheckExisting(name, fd.Get(), owner);
    if (!st) return st.error();
    if (static_cast<size_t>(st.value().st_size) < size) {
        return Error{EINVAL, "shared memory " + name + " is smaller than expected"};
    }
    return Map(name, std::move(fd), size);
}

bool SharedMemoryObject::Unlink(const std::string& name) {
    return ::shm_unlink(name.c_str()) == 0;
}

}  // namespace vantor::platform

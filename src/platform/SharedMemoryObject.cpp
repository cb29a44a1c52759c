#include "platform/SharedMemoryObject.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vantor::platform {

SharedMemoryObject::~SharedMemoryObject() {
    Release();
}

SharedMemoryObject::SharedMemoryObject(SharedMemoryObject&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_fd(std::exchange(other.m_fd, -1)),
      m_name(std::move(other.m_name)) {}

SharedMemoryObject& SharedMemoryObject::operator=(SharedMemoryObject&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_fd = std::exchange(other.m_fd, -1);
        m_name = std::move(other.m_name);
    }
    return *this;
}

void SharedMemoryObject::Release() {
    if (m_data != nullptr) ::munmap(m_data, m_size);
    if (m_fd >= 0) ::close(m_fd);
    m_data = nullptr;
    m_fd = -1;
    m_size = 0;
}

Result<SharedMemoryObject> SharedMemoryObject::Map(const std::string& name, int fd, size_t size) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        int err = errno;
        ::close(fd);
        return ErrnoError("mmap " + name, err);
    }
    SharedMemoryObject obj;
    obj.m_data = p;
    obj.m_size = size;
    obj.m_fd = fd;
    obj.m_name = name;
    return obj;
}

Result<SharedMemoryObject> SharedMemoryObject::CreateOrOpen(const std::string& name, size_t size) {
    if (size == 0) return Error{EINVAL, "shared memory " + name + ": size 0"};
    // umask must not strip the group bits of 0660: set them explicitly below.
    int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    if (fd < 0) return ErrnoError("shm_open " + name, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return ErrnoError("fstat " + name, err);
    }
    if (st.st_uid == ::geteuid()) ::fchmod(fd, 0660);
    // Growing is safe when two processes race: both ask for the same size and
    // ftruncate never shrinks below what the other one set.
    if (static_cast<size_t>(st.st_size) < size && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        int err = errno;
        ::close(fd);
        return ErrnoError("ftruncate " + name, err);
    }
    return Map(name, fd, size);
}

Result<SharedMemoryObject> SharedMemoryObject::OpenExisting(const std::string& name, size_t size) {
    int fd = ::shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) return ErrnoError("shm_open " + name, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < size) {
        ::close(fd);
        return Error{EINVAL, "shared memory " + name + " is smaller than expected"};
    }
    return Map(name, fd, size);
}

bool SharedMemoryObject::Unlink(const std::string& name) {
    return ::shm_unlink(name.c_str()) == 0;
}

}  // namespace vantor::platform

#pragma once
// A named POSIX shared-memory object mapped read/write into this process.
// Created if missing (mode 0660), attached if another process made it first;
// either way the caller sees the same bytes. Unmapped by the destructor; the
// object itself stays for other processes. Move-only.
//
// An existing object is attached only when it is a regular file with no
// permission beyond 0660 (symbolic links are never followed) and its owner is
// one we trust: an object that someone else prepared could be truncated under
// us, or feed us data of their making.
#include <cerrno>
#include <cstddef>
#include <string>

#include "platform/Result.h"
#include "platform/UniqueFd.h"

namespace vantor::platform {

// Error code of an object refused as unsafe to use.
constexpr int kUnsafeObject = EPERM;

class SharedMemoryObject {
public:
    // Who may own an existing object we attach to. The server owns its
    // objects. A reader also trusts root's: root can write any memory of ours
    // anyway, and a server started by root leaves objects root owns.
    enum class Owner { kThisUserOrRoot, kThisUser };

    SharedMemoryObject() = default;
    ~SharedMemoryObject();
    SharedMemoryObject(SharedMemoryObject&& other) noexcept;
    SharedMemoryObject& operator=(SharedMemoryObject&& other) noexcept;
    SharedMemoryObject(const SharedMemoryObject&) = delete;
    SharedMemoryObject& operator=(const SharedMemoryObject&) = delete;

    // name is the full object name ("/..."); size is grown to if the object is smaller.
    static Result<SharedMemoryObject> CreateOrOpen(const std::string& name, size_t size,
                                                   Owner owner = Owner::kThisUserOrRoot);
    // Attaches to an existing object only; fails when it is missing or smaller than size.
    static Result<SharedMemoryObject> OpenExisting(const std::string& name, size_t size,
                                                   Owner owner = Owner::kThisUserOrRoot);
    // Removes the name (processes that have it mapped keep their mapping).
    static bool Unlink(const std::string& name);

    void* Data() const { return m_data; }
    size_t Size() const { return m_size; }
    const std::string& Name() const { return m_name; }
    // The descriptor stays open while mapped (used for flock during set-up).
    int Fd() const { return m_fd.Get(); }

private:
    static Result<SharedMemoryObject> Map(const std::string& name, UniqueFd fd, size_t size);
    void Release();

    void* m_data = nullptr;
    size_t m_size = 0;
    UniqueFd m_fd;
    std::string m_name;
};

}  // namespace vantor::platform

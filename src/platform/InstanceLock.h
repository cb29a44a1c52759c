#pragma once
// Single-instance guard: an exclusive flock on "<ns><name>.lock" in the
// runtime directory. The kernel drops it when the process ends, however it
// ends, so a crashed server never blocks the next start. Move-only.
#include <string>

#include "platform/Result.h"
#include "platform/UniqueFd.h"

namespace vantor::platform {

class InstanceLock {
public:
    static constexpr int kHeldElsewhere = -2;  // Error::code when another process holds it

    InstanceLock() = default;

    // kHeldElsewhere when another process holds it; any other failure (an
    // unusable runtime directory, a lock file that cannot be opened) has a
    // text that names the directory or file.
    static Result<InstanceLock> Acquire(const std::string& name);
    bool IsHeld() const { return m_fd.Valid(); }

private:
    UniqueFd m_fd;
};

}  // namespace vantor::platform

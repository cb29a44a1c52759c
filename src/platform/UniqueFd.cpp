#include "platform/UniqueFd.h"

#include <unistd.h>

namespace vantor::platform {

void UniqueFd::Reset(int fd) {
    const int old = std::exchange(m_fd, fd);
    if (old >= 0 && old != fd) ::close(old);
}

// Not retried after EINTR: on Linux the descriptor is gone either way.
bool UniqueFd::Close() {
    const int old = Release();
    return old < 0 || ::close(old) == 0;
}

}  // namespace vantor::platform

#include "platform/UnixAddress.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace vantor::platform {

Result<UnixSocketAddress> UnixAddress(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos) {
        return Error{EINVAL,
                     "socket path empty or with a zero byte: \"" + std::string(path) + "\""};
    }
    if (path.size() > kMaxUnixPathBytes) {
        return Error{ENAMETOOLONG, "socket path " + std::string(path) + " is " +
                                       std::to_string(path.size()) + " bytes long, at most " +
                                       std::to_string(kMaxUnixPathBytes) + " fit an address"};
    }
    UnixSocketAddress a;
    a.addr.sun_family = AF_UNIX;
    std::memcpy(a.addr.sun_path, path.data(), path.size());
    a.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return a;
}

}  // namespace vantor::platform

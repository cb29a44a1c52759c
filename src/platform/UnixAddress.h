#pragma once
// The address of a Unix-domain socket bound at a path.
#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <string_view>

#include "platform/Result.h"

namespace vantor::platform {

// The longest path an address holds (sun_path less its terminating zero).
constexpr size_t kMaxUnixPathBytes = sizeof(sockaddr_un{}.sun_path) - 1;

struct UnixSocketAddress {
    sockaddr_un addr{};
    socklen_t length = 0;  // what bind, connect and sendto are given
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&addr); }
};

// The address of the socket at path. EINVAL for an empty path or one with a
// zero byte in it; ENAMETOOLONG, naming the path and the limit, for one
// longer than kMaxUnixPathBytes: it is never cut to fit.
Result<UnixSocketAddress> UnixAddress(std::string_view path);

}  // namespace vantor::platform

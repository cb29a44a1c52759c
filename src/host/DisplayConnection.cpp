#include "host/DisplayConnection.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "platform/UniqueFd.h"

namespace vantor::host {
namespace {

bool ConnectsUnix(const std::string& path, bool abstract) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;  // an abstract name starts with a NUL
    if (path.empty() || path.size() + offset >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    platform::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0) return false;
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    return ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), length) == 0;
}

// An unreachable host must not hold up the start for the system's
// connect timeout (minutes): a display that takes longer does not count.
constexpr int kTcpPatienceMs = 1000;

bool ConnectsWithin(int fd, const sockaddr* addr, socklen_t length) {
    if (::connect(fd, addr, length) == 0) return true;
    if (errno != EINPROGRESS) return false;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, kTcpPatienceMs) != 1) return false;
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool ConnectsTcp(const std::string& host, long port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
        platform::UniqueFd fd(
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
        ok = fd.Get() >= 0 && ConnectsWithin(fd.Get(), a->ai_addr, a->ai_addrlen);
    }
    ::freeaddrinfo(found);
    return ok;
}

// "[host]:number[.screen]": a local X server listens on its Unix socket
// (path or abstract name), a remote one (an ssh forward) on TCP 6000 + number.
bool XServerAnswers(const std::string& display) {
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = display.substr(0, colon);
    const long number = std::strtol(display.c_str() + colon + 1, nullptr, 10);
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        return ConnectsUnix(path, false) || ConnectsUnix(path, true);
    }
    return ConnectsTcp(host, 6000 + number);
}

bool WaylandAnswers(const std::string& name) {
    if (!name.empty() && name[0] == '/') return ConnectsUnix(name, false);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");  // NOLINT(concurrency-mt-unsafe)
    return runtime != nullptr && ConnectsUnix(std::string(runtime) + "/" + name, false);
}

}  // namespace

bool DisplayAnswers(std::string* reason) {
    // Read before any thread exists.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");  // NOLINT(concurrency-mt-unsafe)
    const char* x11 = std::getenv("DISPLAY");              // NOLINT(concurrency-mt-unsafe)
    const bool hasWayland = wayland != nullptr && *wayland != '\0';
    const bool hasX11 = x11 != nullptr && *x11 != '\0';
    if (!hasWayland && !hasX11) {
        *reason = "no display";
        return false;
    }
    if ((hasWayland && WaylandAnswers(wayland)) || (hasX11 && XServerAnswers(x11))) return true;
    *reason = std::string("the display ") + (hasX11 ? x11 : wayland) + " does not answer";
    return false;
}

}  // namespace vantor::host

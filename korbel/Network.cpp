// The packet link: two UDP sockets on the loopback interface. The receive
// socket is non-blocking and is read by one thread while another sends, so the
// descriptors are atomics; opening and closing happen while neither runs.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/LoopbackUdp.h"
#include "platform/UniqueFd.h"
#include "syslib/KorbelApi.h"

namespace {

std::atomic<int> g_recvFd{-1};
std::atomic<int> g_sendFd{-1};

std::mutex g_errorMutex;
char g_lastError[256];  // guarded by g_errorMutex

// Keeps a text for GetNetError (with the system's reason when err is set) and
// passes the code through.
__attribute__((format(printf, 3, 4))) int Fail(int code, int err, const char* format, ...) {
    char text[sizeof g_lastError];
    va_list args;
    va_start(args, format);
    // A false alarm: va_start is right above.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (err != 0) {
        char reason[128];
        const std::size_t used = std::strlen(text);
        std::snprintf(text + used, sizeof text - used, ": %s",
                      ::strerror_r(err, reason, sizeof reason));
    }
    std::lock_guard lock(g_errorMutex);
    std::memcpy(g_lastError, text, sizeof text);
    return code;
}

bool ValidPort(int port, int lowest) {
    return port >= lowest && port <= 65535;
}

// A UDP socket bound to 127.0.0.1:port (0 = any free port), or a negative code.
// No SO_REUSEADDR: a port already in use must make the second binder fail.
int OpenBound(int port, int extraFlags, const char* role) {
    vantor::platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | extraFlags, 0));
    if (!fd.Valid()) return Fail(kKorbelSocketFailed, errno, "%s socket", role);
    if (!vantor::platform::BindLoopback(fd.Get(), port)) {
        return Fail(kKorbelBindFailed, errno, "%s socket on 127.0.0.1:%d", role, port);
    }
    return fd.Release();
}

void CloseSockets() {
    const int recvFd = g_recvFd.exchange(-1);
    const int sendFd = g_sendFd.exchange(-1);
    if (recvFd >= 0) ::close(recvFd);
    if (sendFd >= 0) ::close(sendFd);
}

// Unloading the library must not keep its ports bound.
struct CloseOnUnload {
    CloseOnUnload() = default;
    CloseOnUnload(const CloseOnUnload&) = delete;
    CloseOnUnload& operator=(const CloseOnUnload&) = delete;
    ~CloseOnUnload() { CloseSockets(); }
} g_closeOnUnload;

}  // namespace

extern "C" {

int OpenNet(int /*unused1*/, int /*unused2*/, int recvPort, int sendPort) {
    CloseSockets();
    if (!ValidPort(recvPort, 0) || !ValidPort(sendPort, 0)) {
        return Fail(kKorbelBadArgument, 0, "port out of range");
    }
    const int recvFd = OpenBound(recvPort, SOCK_NONBLOCK, "receive");
    if (recvFd < 0) return recvFd;
    vantor::platform::UniqueFd recv(recvFd);
    // Bursts of peers' packets should wait in the kernel rather than be
    // dropped; the kernel caps this at its own maximum.
    const int wanted = 1 << 20;
    ::setsockopt(recv.Get(), SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
    const int sendFd = OpenBound(sendPort, 0, "send");
    if (sendFd < 0) return sendFd;  // the receive socket closes with recv
    g_recvFd.store(recv.Release());
    g_sendFd.store(sendFd);
    return 1;
}

int CloseNet(int /*unused*/) {
    CloseSockets();
    return 1;
}

int ReadNetData(int /*unused*/, void* buffer, int length) {
    if (buffer == nullptr || length <= 0) return Fail(kKorbelBadArgument, 0, "no receive buffer");
    auto* bytes = static_cast<unsigned char*>(buffer);
    const auto size = static_cast<std::size_t>(length);
    const int fd = g_recvFd.load();
    if (fd < 0) {
        std::memset(bytes, 0, size);
        return Fail(kKorbelNotOpen, 0, "receive: link not open");
    }
    ssize_t n = 0;
    do {
        n = ::recv(fd, bytes, size, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        const int err = errno;
        std::memset(bytes, 0, size);
        if (err == EAGAIN || err == EWOULDBLOCK) return 0;
        return Fail(kKorbelIoFailed, err, "receive");
    }
    // Whatever this datagram did not cover must not keep an older packet's bytes.
    // A longer datagram is cut to the buffer by the kernel.
    std::memset(bytes + n, 0, size - static_cast<std::size_t>(n));
    return static_cast<int>(n);
}

int SendNetData(int /*unused*/, const char* host, int port, const void* buffer, int length) {
    if (host == nullptr || buffer == nullptr || length < 0 || !ValidPort(port, 1)) {
        return Fail(kKorbelBadArgument, 0, "send: bad argument");
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host, &to.sin_addr) != 1) {
        return Fail(kKorbelBadHost, 0, "send: not an IPv4 address: %s", host);
    }
    const int fd = g_sendFd.load();
    if (fd < 0) return Fail(kKorbelNotOpen, 0, "send: link not open");
    ssize_t n = 0;
    do {
        n = ::sendto(fd, buffer, static_cast<std::size_t>(length), 0,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return Fail(kKorbelIoFailed, errno, "send to %s:%d", host, port);
    return static_cast<int>(n);
}

int WaitNetData(int /*unused*/, int timeoutMs) {
    const int fd = g_recvFd.load();
    if (fd < 0) return Fail(kKorbelNotOpen, 0, "wait: link not open");
    // A negative timeout would block forever and hide a stop request.
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    if (r < 0) return errno == EINTR ? 0 : Fail(kKorbelIoFailed, errno, "wait");
    if (r == 0) return 0;
    if ((p.revents & POLLIN) != 0) return 1;
    return Fail(kKorbelIoFailed, 0, "wait: socket error");
}

int GetNetPort(int which) {
    const int fd = which == 0 ? g_recvFd.load() : which == 1 ? g_sendFd.load() : -1;
    if (fd < 0) return -1;
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
    return ntohs(addr.sin_port);
}

int GetNetError(char* out, int size) {
    if (out == nullptr || size <= 0) return kKorbelBadArgument;
    std::lock_guard lock(g_errorMutex);
    const std::size_t n = std::min(std::strlen(g_lastError), static_cast<std::size_t>(size) - 1);
    std::memcpy(out, g_lastError, n);
    out[n] = '\0';
    return static_cast<int>(n);
}

}  // extern "C"

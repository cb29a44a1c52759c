// The socket backend: an emulated bus served by another process. Every wait
// on the socket is bounded; after one failed transfer the connection counts
// as broken and every later transfer fails at once, so a dead or hung server
// can never hold the acquisition thread for more than one timeout.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "boards/BusProtocol.h"
#include "boards/PortBackends.h"

namespace vantor::boards {
namespace {

constexpr int kTimeoutMs = 1000;

bool SendAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReceiveAll(int fd, void* data, size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = ::recv(fd, p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // timeout, error or closed
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

class SocketPortBus final : public PortBus {
public:
    explicit SocketPortBus(int fd) : m_fd(fd) {}
    ~SocketPortBus() override { ::close(m_fd); }
    SocketPortBus(const SocketPortBus&) = delete;
    SocketPortBus& operator=(const SocketPortBus&) = delete;

    int Version() override {
        wire::Reply r{};
        if (!Call({wire::kHello, 0, 0, 0}, &r) || r.status != 1) return 0;
        return static_cast<int>(r.word);
    }
    uint32_t Claim(int port, int length, bool sharable) override {
        wire::Request q{wire::kClaim, 0, static_cast<uint16_t>(port),
                        static_cast<uint32_t>(length & 0xFFFF) | (sharable ? 1U << 16 : 0U)};
        wire::Reply r{};
        if (!Call(q, &r) || r.status != 1) return 0;
        return r.word;
    }
    void Release(uint32_t cardHandle) override {
        wire::Reply r{};
        Call({wire::kRelease, 0, 0, cardHandle}, &r);
    }
    bool Read(int port, uint8_t& value) override {
        if (port < 0 || port > 0xFFFF) return false;
        wire::Reply r{};
        if (!Call({wire::kRead, 0, static_cast<uint16_t>(port), 0}, &r) || r.status != 1)
            return false;
        value = r.value;
        return true;
    }
    bool Write(int port, uint8_t value) override {
        if (port < 0 || port > 0xFFFF) return false;
        return Call({wire::kWrite, value, static_cast<uint16_t>(port), 0}, nullptr);
    }

private:
    bool Call(const wire::Request& q, wire::Reply* reply) {
        if (m_broken) return false;
        if (!SendAll(m_fd, &q, sizeof q) ||
            (reply != nullptr && !ReceiveAll(m_fd, reply, sizeof *reply))) {
            m_broken = true;
            return false;
        }
        return true;
    }

    int m_fd;
    bool m_broken = false;
};

}  // namespace

std::unique_ptr<PortBus> OpenSocketPortBus(std::string_view path, std::string& why) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        why = "socket path empty or too long";
        return nullptr;
    }
    std::memcpy(addr.sun_path, path.data(), path.size());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = std::string("socket: ") + std::strerror(errno);
        return nullptr;
    }
    timeval tv{kTimeoutMs / 1000, (kTimeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        why = std::string(path) + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<SocketPortBus>(fd);
}

}  // namespace vantor::boards

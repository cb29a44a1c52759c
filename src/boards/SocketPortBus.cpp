// The socket backend: an emulated bus served by another process. Every wait
// on the socket is bounded, and a stop of the acquisition ends it at once. After
// a failed transfer the connection is closed and every later transfer fails at
// once, except that at most once a second one of them tries to connect again
// (a connect that cannot complete at once fails, and the greeting has a short
// timeout). So a dead or hung server costs the acquisition thread at most one
// timeout per second, and the card comes back by itself when its bus is
// served again.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "boards/BusProtocol.h"
#include "boards/PortBackends.h"
#include "platform/Clock.h"
#include "platform/Result.h"
#include "platform/UniqueFd.h"
#include "platform/UnixAddress.h"

namespace vantor::boards {
namespace {

constexpr int kTimeoutMs = 1000;
constexpr int kGreetingTimeoutMs = 200;
constexpr uint64_t kReconnectPeriodMs = 1000;
// How often a wait looks at the stop flag; a live bus answers well within it.
constexpr int kStopCheckMs = 20;
constexpr const char* kStoppedText = "stopped";

// A connected, non-blocking socket, or none and why. A Unix-socket connect
// either completes at once or fails (EAGAIN: the server's backlog is full);
// it never waits.
platform::UniqueFd Connect(const std::string& path, std::string& why) {
    const auto addr = platform::UnixAddress(path);
    if (!addr) {
        why = addr.error().text;
        return {};
    }
    platform::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
        why = platform::ErrnoError("socket", errno).text;
        return {};
    }
    if (::connect(fd.Get(), addr.value().Get(), addr.value().length) != 0) {
        why = platform::ErrnoError(path, errno).text;
        return {};
    }
    return fd;
}

// One transfer's time: it ends at the deadline, or at once when the stop flag
// reads 1.
struct Wait {
    uint64_t deadlineMs;
    const std::atomic<int>* stop;

    // nullptr once fd is ready for events, else why not. The flag is read
    // only after a first slice, so a bus that answers is never cut short.
    const char* Until(int fd, short events, const char* late) const {
        for (;;) {
            const uint64_t now = platform::MillisecondsSinceStart();
            if (now >= deadlineMs) return late;
            pollfd p{fd, events, 0};
            const int slice = static_cast<int>(std::min<uint64_t>(deadlineMs - now, kStopCheckMs));
            const int n = ::poll(&p, 1, slice);
            if (n > 0) return nullptr;
            if (n < 0 && errno != EINTR) return platform::ErrnoText(errno);
            if (stop != nullptr && stop->load() == 1) return kStoppedText;
        }
    }
};

// Each returns nullptr when done, else why not.
const char* SendAll(int fd, const void* data, size_t size, const Wait& wait) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (const char* why = wait.Until(fd, POLLOUT, "no room to send in time")) return why;
            continue;
        }
        if (n <= 0) return n < 0 ? platform::ErrnoText(errno) : "nothing sent";
        p += n;
        size -= static_cast<size_t>(n);
    }
    return nullptr;
}

const char* ReceiveAll(int fd, void* data, size_t size, const Wait& wait) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = ::recv(fd, p, size, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (const char* why = wait.Until(fd, POLLIN, "no answer in time")) return why;
            continue;
        }
        if (n < 0) return platform::ErrnoText(errno);
        if (n == 0) return "connection closed";
        p += n;
        size -= static_cast<size_t>(n);
    }
    return nullptr;
}

// One request and, unless it is a write, its reply, within timeoutMs.
const char* Exchange(int fd, const wire::Request& q, wire::Reply* reply, int timeoutMs,
                     const std::atomic<int>* stop) {
    const Wait wait{platform::MillisecondsSinceStart() + static_cast<uint64_t>(timeoutMs), stop};
    const char* why = SendAll(fd, &q, sizeof q, wait);
    if (why == nullptr && reply != nullptr) why = ReceiveAll(fd, reply, sizeof *reply, wait);
    return why;
}

class SocketPortBus final : public PortBus {
public:
    SocketPortBus(std::string path, platform::UniqueFd fd)
        : m_path(std::move(path)), m_fd(std::move(fd)), m_link("unix:" + m_path) {}

    int Version() override {
        wire::Reply r{};
        if (!Call({wire::kHello, 0, 0, 0}, &r) || r.status != 1) return 0;
        return static_cast<int>(r.word);
    }
    uint32_t Claim(int port, int length, bool sharable) override {
        m_claimRequest = {wire::kClaim, 0, static_cast<uint16_t>(port),
                          static_cast<uint32_t>(length & 0xFFFF) | (sharable ? 1U << 16 : 0U)};
        wire::Reply r{};
        if (!Call(m_claimRequest, &r) || r.status != 1) return 0;
        m_claim = r.word;
        return r.word;
    }
    // The server dropped a claim with its connection; only a live one is
    // released (under the handle of the current connection).
    void Release(uint32_t cardHandle) override {
        if (cardHandle != 0 && m_claim != 0 && m_fd.Valid()) {
            wire::Reply r{};
            Call({wire::kRelease, 0, 0, m_claim}, &r);
        }
        m_claim = 0;
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
    PortLinkState Link() const override { return m_link.State(); }
    void SetStopFlag(const std::atomic<int>* flag) override { m_stop = flag; }

private:
    bool Stopping() const { return m_stop != nullptr && m_stop->load() == 1; }

    bool Call(const wire::Request& q, wire::Reply* reply) {
        if (!m_fd.Valid() && !Reconnect()) {
            if (!Stopping()) m_link.Failed("no connection");
            return false;
        }
        if (const char* why = Exchange(m_fd.Get(), q, reply, kTimeoutMs, m_stop)) {
            m_fd.Reset();
            m_nextConnectMs = platform::MillisecondsSinceStart() + kReconnectPeriodMs;
            if (Stopping()) {
                // Cut short by a stop: no loss of the card, and the next
                // transfer connects again at once (the stream is out of step).
                m_nextConnectMs = 0;
                return false;
            }
            m_link.Failed(why);
            return false;
        }
        m_link.Succeeded();
        return true;
    }

    // At most one try a second: connect, greet, and claim the card's range
    // again if it was claimed (the server released it with the old
    // connection).
    bool Reconnect() {
        const uint64_t now = platform::MillisecondsSinceStart();
        if (now < m_nextConnectMs) return false;
        m_nextConnectMs = now + kReconnectPeriodMs;
        std::string why;
        platform::UniqueFd fd = Connect(m_path, why);
        if (!fd.Valid()) return false;
        wire::Reply hello{};
        wire::Reply claim{};
        // Exchange answers what went wrong, nullptr when nothing did.
        bool ok = Exchange(fd.Get(), {wire::kHello, 0, 0, 0}, &hello, kGreetingTimeoutMs, m_stop) ==
                      nullptr &&
                  hello.status == 1;
        if (ok && m_claim != 0) {
            ok =
                Exchange(fd.Get(), m_claimRequest, &claim, kGreetingTimeoutMs, m_stop) == nullptr &&
                claim.status == 1 && claim.word != 0;
            if (ok) m_claim = claim.word;
        }
        if (!ok) {
            if (Stopping()) m_nextConnectMs = 0;
            return false;
        }
        m_fd = std::move(fd);
        return true;
    }

    std::string m_path;
    platform::UniqueFd m_fd;
    PortLinkCounter m_link;
    wire::Request m_claimRequest{};
    // The card's handle; kept while the link is lost, so it is claimed again.
    uint32_t m_claim = 0;
    uint64_t m_nextConnectMs = 0;
    const std::atomic<int>* m_stop = nullptr;
};

}  // namespace

std::unique_ptr<PortBus> OpenSocketPortBus(std::string_view path, std::string& why) {
    std::string p(path);
    platform::UniqueFd fd = Connect(p, why);
    if (!fd.Valid()) return nullptr;
    return std::make_unique<SocketPortBus>(std::move(p), std::move(fd));
}

}  // namespace vantor::boards

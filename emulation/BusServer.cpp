#include "emulation/BusServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "boards/BusProtocol.h"
#include "platform/Result.h"
#include "platform/UnixAddress.h"

namespace vantor::emulation {

namespace wire = boards::wire;

BusServer::~BusServer() {
    for (auto& [fd, conn] : m_conns) {
        if (conn.claim != 0) m_bus.Release(conn.claim);
    }
    m_conns.clear();
    if (m_listen.Valid()) {
        m_listen.Reset();
        ::unlink(m_path.c_str());
    }
}

bool BusServer::Listen(const std::string& path, std::string& why) {
    const auto addr = platform::UnixAddress(path);
    if (!addr) {
        why = addr.error().text;
        return false;
    }
    platform::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        why = platform::ErrnoError("socket", errno).text;
        return false;
    }
    // Only a socket left by an earlier run is replaced; anything else at the
    // path is someone's file.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            why = path + ": exists and is not a socket; not replacing it";
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::bind(fd.Get(), addr.value().Get(), addr.value().length) != 0 ||
        ::listen(fd.Get(), 8) != 0) {
        why = platform::ErrnoError(path, errno).text;
        return false;
    }
    m_listen = std::move(fd);
    m_path = path;
    return true;
}

bool BusServer::Step(int timeoutMs, int extraFd) {
    std::vector<pollfd> fds;
    if (m_listen.Valid()) fds.push_back({m_listen.Get(), POLLIN, 0});
    for (auto& [fd, conn] : m_conns) fds.push_back({fd, POLLIN, 0});
    if (extraFd >= 0) fds.push_back({extraFd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) return false;

    bool extraReady = false;
    for (const pollfd& p : fds) {
        if (p.revents == 0) continue;
        if (p.fd == extraFd) {
            extraReady = true;
        } else if (p.fd == m_listen.Get()) {
            Accept();
        } else if (auto it = m_conns.find(p.fd); it != m_conns.end()) {
            if (!Serve(p.fd, it->second)) Drop(p.fd);
        }
    }
    return extraReady;
}

void BusServer::Accept() {
    platform::UniqueFd fd(::accept4(m_listen.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd.Valid()) return;
    const int key = fd.Get();
    m_conns[key].fd = std::move(fd);
}

void BusServer::Drop(int fd) {
    auto it = m_conns.find(fd);
    if (it == m_conns.end()) return;
    if (it->second.claim != 0) m_bus.Release(it->second.claim);
    m_conns.erase(it);  // closes the connection
}

bool BusServer::Serve(int fd, Connection& conn) {
    uint8_t buffer[4096];
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return n < 0 && (errno == EINTR || errno == EAGAIN);
    conn.pending.insert(conn.pending.end(), buffer, buffer + n);

    size_t used = 0;
    std::vector<uint8_t> out;
    while (conn.pending.size() - used >= sizeof(wire::Request)) {
        wire::Request q{};
        std::memcpy(&q, conn.pending.data() + used, sizeof q);
        used += sizeof q;
        wire::Reply r{1, 0, 0, 0};
        switch (q.op) {
            case wire::kHello:
                r.word = static_cast<uint32_t>(m_bus.Version());
                break;
            case wire::kClaim:
                r.word = m_bus.Claim(q.port, static_cast<int>(q.arg & 0xFFFF), (q.arg >> 16) != 0);
                if (!((q.arg >> 16) != 0) && r.word != 0) conn.claim = r.word;
                break;
            case wire::kRelease:
                // Only the connection's own claim: handles are small numbers
                // another connection could name.
                if (q.arg != 0 && q.arg == conn.claim) {
                    m_bus.Release(q.arg);
                    conn.claim = 0;
                }
                break;
            case wire::kRead:
                r.value = m_bus.ReadPort(q.port);
                break;
            case wire::kWrite:
                m_bus.Write(q.port, q.value);
                continue;  // unanswered
            default:
                r.status = 0;
                break;
        }
        const auto* bytes = reinterpret_cast<const uint8_t*>(&r);
        out.insert(out.end(), bytes, bytes + sizeof r);
    }
    conn.pending.erase(conn.pending.begin(), conn.pending.begin() + static_cast<long>(used));
    size_t sent = 0;
    while (sent < out.size()) {
        ssize_t s = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (s < 0 && errno == EINTR) continue;
        if (s <= 0) return false;
        sent += static_cast<size_t>(s);
    }
    return true;
}

}  // namespace vantor::emulation

#include "platform/CopyDataBus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/IpcNames.h"
#include "platform/Trace.h"
#include "platform/UnixAddress.h"

namespace vantor::platform {
namespace {

constexpr uint32_t kRequestMagic = 0x4D444356u;  // "VCDM"
constexpr uint32_t kReplyMagic = 0x52444356u;    // "VCDR"

struct RequestHeader {
    uint32_t magic;
    uint32_t seq;
    uint32_t code;
    uint32_t reserved;
    uint64_t dataWord;
};
struct Reply {
    uint32_t magic;
    uint32_t seq;
    int64_t result;
};
static_assert(sizeof(RequestHeader) == 24 && sizeof(Reply) == 16);

std::atomic<uint32_t> g_sequence{1};

bool SafeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

uint64_t Fnv1a(std::string_view s) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

UniqueFd NewSocket() {
    return UniqueFd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
}

// A socket that receives: the kernel tells who sent each datagram.
UniqueFd NewReceivingSocket() {
    UniqueFd fd = NewSocket();
    const int on = 1;
    if (fd.Valid() && ::setsockopt(fd.Get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0) {
        fd.Reset();
    }
    return fd;
}

// Senders of another user whose messages were dropped: each is traced once.
std::mutex g_droppedMutex;
std::vector<uid_t> g_droppedFrom;  // guarded by g_droppedMutex

void NoteDropped(const ucred& sender, int fd) {
    constexpr size_t kMostTraced = 64;  // a flood of users must not grow this for ever
    {
        std::lock_guard lock(g_droppedMutex);
        for (uid_t uid : g_droppedFrom) {
            if (uid == sender.uid) return;
        }
        if (g_droppedFrom.size() >= kMostTraced) return;
        g_droppedFrom.push_back(sender.uid);
    }
    sockaddr_un own{};
    socklen_t ownLen = sizeof own;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&own), &ownLen);
    Trace(
        "copy-data: dropped a message to %s from uid %u (pid %d), another user than you (uid "
        "%u); further ones from uid %u are dropped without a trace\n",
        TraceEscaped(std::string_view(own.sun_path, ::strnlen(own.sun_path, sizeof own.sun_path)))
            .c_str(),
        static_cast<unsigned>(sender.uid), static_cast<int>(sender.pid),
        static_cast<unsigned>(::getuid()), static_cast<unsigned>(sender.uid));
}

// Receives one datagram without waiting, from this user only: a datagram of
// another user (or without the sender's credentials) is noted and dropped,
// and reads as an empty one.
ssize_t ReceiveFromThisUser(int fd, void* buffer, size_t size, sockaddr_un* from,
                            socklen_t* fromLen) {
    iovec data{buffer, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
    msghdr message{};
    message.msg_name = from;
    message.msg_namelen = from != nullptr ? sizeof *from : 0;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    // Room for the credentials only: descriptors a sender attaches are closed by the kernel.
    const ssize_t n = ::recvmsg(fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (n < 0) return n;
    if (fromLen != nullptr) *fromLen = message.msg_namelen;
    ucred sender{0, static_cast<uid_t>(-1), static_cast<gid_t>(-1)};
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS &&
            c->cmsg_len >= CMSG_LEN(sizeof(ucred))) {
            std::memcpy(&sender, CMSG_DATA(c), sizeof sender);
        }
    }
    // Longer than any sender of ours writes: cut short, it is nothing of ours.
    if (sender.uid == ::getuid()) return (message.msg_flags & MSG_TRUNC) != 0 ? 0 : n;
    NoteDropped(sender, fd);
    return 0;
}

// A socket bound to a fresh path of its own, for the answer to one send.
struct ReplySocket {
    UniqueFd fd;
    std::string path;
    ReplySocket() = default;
    ReplySocket(const ReplySocket&) = delete;
    ReplySocket& operator=(const ReplySocket&) = delete;
    ~ReplySocket() {
        fd.Reset();
        if (!path.empty()) ::unlink(path.c_str());
    }
    bool Open() {
        std::string dir = RuntimeDir();
        if (dir.empty()) return false;
        path = dir + "/" + IpcNamespace() + "~" + std::to_string(::getpid()) + "." +
               std::to_string(g_sequence.fetch_add(1));
        const auto addr = UnixAddress(path);
        fd = NewReceivingSocket();  // last before the check: the caller reports its errno
        if (!fd.Valid() || !addr) return false;
        ::unlink(path.c_str());
        return ::bind(fd.Get(), addr.value().Get(), addr.value().length) == 0;
    }
};

int64_t Elapsed(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

std::optional<Error> BadPayload(const void* data, size_t size) {
    if (size > kCopyDataMaxPayload || (size > 0 && data == nullptr)) {
        return Error{kCopyDataTooLarge, "copy-data payload too large or missing"};
    }
    return std::nullopt;
}

std::vector<char> RequestBytes(uint32_t seq, uint32_t code, uint64_t dataWord, const void* data,
                               size_t size) {
    std::vector<char> message(sizeof(RequestHeader) + size);
    RequestHeader header{kRequestMagic, seq, code, 0, dataWord};
    std::memcpy(message.data(), &header, sizeof header);
    if (size > 0) std::memcpy(message.data() + sizeof header, data, size);
    return message;
}

// Puts one request into the receiver's queue from fd, waiting for room in a
// full queue until timeoutMs after start. 0 once it is queued.
Result<int64_t> Deliver(int fd, std::string_view title, const std::vector<char>& message,
                        int timeoutMs, std::chrono::steady_clock::time_point start) {
    const auto to = UnixAddress(CopyDataPath(title));
    if (!to) return Error{kCopyDataNotFound, "no copy-data endpoint titled " + std::string(title)};
    for (;;) {
        ssize_t n = ::sendto(fd, message.data(), message.size(), MSG_DONTWAIT, to.value().Get(),
                             to.value().length);
        if (n >= 0) return int64_t{0};
        if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR) {
            return Error{kCopyDataNotFound, "no copy-data endpoint titled " + std::string(title)};
        }
        if (errno != EAGAIN && errno != EINTR) return ErrnoError("copy-data send", errno);
        if (Elapsed(start) >= timeoutMs) {
            return Error{kCopyDataTimedOut, "copy-data receiver's queue stays full"};
        }
        ::usleep(1000);
    }
}

// The send shared by endpoints and plain senders. While waiting, pump (when
// given) handles messages that arrive at the sender's own endpoint.
Result<int64_t> SendAndWait(std::string_view title, uint32_t code, uint64_t dataWord,
                            const void* data, size_t size, int timeoutMs, int ownFd,
                            CopyDataEndpoint* own) {
    if (auto bad = BadPayload(data, size)) return *bad;
    ReplySocket reply;
    if (!reply.Open()) return ErrnoError("copy-data reply socket", errno);

    const uint32_t seq = g_sequence.fetch_add(1);
    const auto start = std::chrono::steady_clock::now();
    auto queued = Deliver(reply.fd.Get(), title, RequestBytes(seq, code, dataWord, data, size),
                          timeoutMs, start);
    if (!queued) return queued;
    for (;;) {
        int64_t left = timeoutMs - Elapsed(start);
        if (left <= 0) return Error{kCopyDataTimedOut, "copy-data receiver did not answer"};
        pollfd fds[2] = {{reply.fd.Get(), POLLIN, 0}, {ownFd, POLLIN, 0}};
        int r = ::poll(fds, ownFd >= 0 ? 2 : 1, static_cast<int>(left));
        if (r < 0 && errno != EINTR) return ErrnoError("copy-data wait", errno);
        if (r <= 0) continue;
        if (own != nullptr && (fds[1].revents & POLLIN) != 0) own->Pump();
        if ((fds[0].revents & POLLIN) != 0) {
            Reply answer{};
            ssize_t got =
                ReceiveFromThisUser(reply.fd.Get(), &answer, sizeof answer, nullptr, nullptr);
            if (got == sizeof answer && answer.magic == kReplyMagic && answer.seq == seq) {
                return answer.result;
            }
        }
    }
}

}  // namespace

std::string CopyDataPath(std::string_view title) {
    std::string dir = RuntimeDir();
    if (dir.empty()) return {};
    std::string name = IpcNamespace() + "@";
    for (char c : title) {
        if (SafeChar(c)) {
            name += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            name += hex;
        }
    }
    std::string path = dir + "/" + name;
    if (path.size() <= kMaxUnixPathBytes) return path;
    // Too long for a socket address: a hash of the title stands in for it.
    char hashed[24];
    std::snprintf(hashed, sizeof hashed, "#%016llx", static_cast<unsigned long long>(Fnv1a(title)));
    return dir + "/" + IpcNamespace() + hashed;
}

Result<int64_t> CopyDataPost(std::string_view title, uint32_t code, uint64_t dataWord,
                             const void* data, size_t size, int timeoutMs) {
    if (auto bad = BadPayload(data, size)) return *bad;
    // From an unnamed socket: the receiver has nowhere to answer, and does not.
    const UniqueFd fd = NewSocket();
    if (!fd.Valid()) return ErrnoError("copy-data socket", errno);
    return Deliver(fd.Get(), title,
                   RequestBytes(g_sequence.fetch_add(1), code, dataWord, data, size), timeoutMs,
                   std::chrono::steady_clock::now());
}

bool CopyDataFind(std::string_view title) {
    const auto addr = UnixAddress(CopyDataPath(title));
    if (!addr) return false;
    const UniqueFd fd = NewSocket();
    // Connecting succeeds only while a socket is bound at the path.
    return fd.Valid() && ::connect(fd.Get(), addr.value().Get(), addr.value().length) == 0;
}

Result<int64_t> CopyDataSend(std::string_view title, uint32_t code, uint64_t dataWord,
                             const void* data, size_t size, int timeoutMs) {
    return SendAndWait(title, code, dataWord, data, size, timeoutMs, -1, nullptr);
}

CopyDataEndpoint::CopyDataEndpoint(std::string title, std::string path, UniqueFd fd,
                                   CopyDataHandler handler)
    : m_title(std::move(title)),
      m_path(std::move(path)),
      m_fd(std::move(fd)),
      m_handler(std::move(handler)) {}

CopyDataEndpoint::~CopyDataEndpoint() {
    m_fd.Reset();
    ::unlink(m_path.c_str());
}

Result<std::unique_ptr<CopyDataEndpoint>> CopyDataEndpoint::Open(std::string_view title,
                                                                 CopyDataHandler handler) {
    if (auto dir = PrivateRuntimeDir(); !dir) return dir.error();
    std::string path = CopyDataPath(title);
    const auto addr = UnixAddress(path);
    if (!addr) return addr.error();
    UniqueFd fd = NewReceivingSocket();
    if (!fd.Valid()) return ErrnoError("copy-data socket", errno);
    int rc = ::bind(fd.Get(), addr.value().Get(), addr.value().length);
    int err = rc == 0 ? 0 : errno;
    if (err == EADDRINUSE && !CopyDataFind(title)) {
        ::unlink(path.c_str());  // left behind by a program that died
        rc = ::bind(fd.Get(), addr.value().Get(), addr.value().length);
        err = rc == 0 ? 0 : errno;
    }
    if (rc != 0) return ErrnoError("copy-data endpoint " + std::string(title), err);
    return std::unique_ptr<CopyDataEndpoint>(
        new CopyDataEndpoint(std::string(title), path, std::move(fd), std::move(handler)));
}

int CopyDataEndpoint::Pump() {
    std::vector<char> buffer(sizeof(RequestHeader) + kCopyDataMaxPayload);
    sockaddr_un from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = ReceiveFromThisUser(m_fd.Get(), buffer.data(), buffer.size(), &from, &fromLen);
    if (n < 0) return 0;
    RequestHeader header{};
    if (static_cast<size_t>(n) < sizeof header) return 1;  // not ours: dropped
    std::memcpy(&header, buffer.data(), sizeof header);
    if (header.magic != kRequestMagic) return 1;
    CopyDataMessage message;
    message.code = header.code;
    message.dataWord = header.dataWord;
    message.data = std::string_view(buffer.data() + sizeof header, n - sizeof header);
    Reply reply{kReplyMagic, header.seq, m_handler ? m_handler(message) : 0};
    // Only a sender bound to a path waits for an answer: an unnamed one (a
    // post) is given an abstract address by the kernel and reads nothing.
    if (fromLen > offsetof(sockaddr_un, sun_path) && from.sun_path[0] != '\0') {
        // A sender that has gone away meanwhile is no reason to block.
        ::sendto(m_fd.Get(), &reply, sizeof reply, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                 fromLen);
    }
    return 1;
}

int CopyDataEndpoint::WaitAndPump(int timeoutMs) {
    pollfd fd{m_fd.Get(), POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs < 0 ? 0 : timeoutMs) <= 0) return 0;
    return Pump();
}

Result<int64_t> CopyDataEndpoint::Send(std::string_view title, uint32_t code, uint64_t dataWord,
                                       const void* data, size_t size, int timeoutMs) {
    return SendAndWait(title, code, dataWord, data, size, timeoutMs, m_fd.Get(), this);
}

}  // namespace vantor::platform

// Fuzzes the socket backend's side of the emulated bus: the port driver's
// calls against a server that answers with any bytes and then closes. Input:
// a count byte, that many call bytes, then the server's whole reply stream.
// Invariants, against a model that reads the stream in 8-byte replies: each
// call's result (a short stream fails the call, and every call after it as
// the link is lost); the requests the server receives, byte for byte; the
// link's state.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "boards/BusProtocol.h"
#include "boards/PortBackends.h"
#include "platform/UniqueFd.h"
#include "platform/UnixAddress.h"

using namespace vantor;
namespace wire = vantor::boards::wire;
using vantor::fuzz::Check;

namespace {

// The server end: listens, takes the backend's connection, and removes its
// socket file at once so that a reconnect fails without waiting.
struct Server {
    platform::UniqueFd listen;
    platform::UniqueFd conn;
};

class Model {
public:
    explicit Model(std::string_view stream) : m_stream(stream) {}

    // The reply a call takes, or false once the stream is short (the link
    // is lost from then on).
    bool Reply(const wire::Request& q, wire::Reply& r) {
        if (!m_alive) return false;
        Sent(q);
        if (m_stream.size() < sizeof r) {
            m_alive = false;
            return false;
        }
        std::memcpy(&r, m_stream.data(), sizeof r);
        m_stream.remove_prefix(sizeof r);
        return true;
    }
    bool Send(const wire::Request& q) {
        if (!m_alive) return false;
        Sent(q);
        return true;
    }
    bool Alive() const { return m_alive; }
    const std::string& Requests() const { return m_requests; }

private:
    void Sent(const wire::Request& q) {
        m_requests.append(reinterpret_cast<const char*>(&q), sizeof q);
    }
    std::string_view m_stream;
    std::string m_requests;
    bool m_alive = true;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t calls = data[0] % 32;
    if (calls > size - 1) calls = size - 1;
    const uint8_t* script = data + 1;
    const std::string_view stream(reinterpret_cast<const char*>(data + 1 + calls),
                                  size - 1 - calls);

    static const std::string path = vantor::fuzz::ScratchFile("bus-client.sock");
    const auto addr = platform::UnixAddress(path);
    Server server;
    server.listen.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ::unlink(path.c_str());
    Check(::bind(server.listen.Get(), addr.value().Get(), addr.value().length) == 0 &&
              ::listen(server.listen.Get(), 1) == 0,
          "cannot listen");
    std::string why;
    std::unique_ptr<boards::PortBus> bus = boards::OpenSocketPortBus(path, why);
    Check(bus != nullptr, "the backend cannot connect");
    server.conn.Reset(::accept4(server.listen.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    ::unlink(path.c_str());
    server.listen.Reset();
    // The whole answer is there before the first call, then the end of it.
    size_t done = 0;
    while (done < stream.size()) {
        const ssize_t n =
            ::send(server.conn.Get(), stream.data() + done, stream.size() - done, MSG_NOSIGNAL);
        Check(n > 0, "the answer cannot be sent");
        done += static_cast<size_t>(n);
    }
    ::shutdown(server.conn.Get(), SHUT_WR);

    Model model(stream);
    uint32_t claim = 0;
    for (size_t i = 0; i < calls; ++i) {
        const uint8_t c = script[i];
        const int port = (c & 0x40) ? -1 : 0x300 + (c >> 3 & 7);
        wire::Reply r{};
        switch (c % 5) {
            case 0: {
                const bool ok = model.Reply({wire::kHello, 0, 0, 0}, r);
                const int want = ok && r.status == 1 ? static_cast<int>(r.word) : 0;
                Check(bus->Version() == want, "Version");
                break;
            }
            case 1: {
                const bool sharable = (c & 0x80) != 0;
                const int length = 16;
                const wire::Request q{wire::kClaim, 0, static_cast<uint16_t>(port & 0xFFFF),
                                      static_cast<uint32_t>(length) | (sharable ? 1U << 16 : 0U)};
                const bool ok = model.Reply(q, r);
                const uint32_t want = ok && r.status == 1 ? r.word : 0;
                if (ok && r.status == 1) claim = r.word;
                Check(bus->Claim(port, length, sharable) == want, "Claim");
                break;
            }
            case 2: {
                const uint32_t handle = (c & 0x80) ? claim : 0;
                if (handle != 0 && claim != 0 && model.Alive()) {
                    model.Reply({wire::kRelease, 0, 0, claim}, r);
                }
                claim = 0;
                bus->Release(handle);
                break;
            }
            case 3: {
                uint8_t value = 0xA5;
                bool want = false;
                if (port >= 0) {
                    want = model.Reply({wire::kRead, 0, static_cast<uint16_t>(port), 0}, r) &&
                           r.status == 1;
                }
                Check(bus->Read(port, value) == want, "Read result");
                Check(value == (want ? r.value : 0xA5), "Read value");
                break;
            }
            default: {
                const bool want =
                    port >= 0 && model.Send({wire::kWrite, c, static_cast<uint16_t>(port), 0});
                Check(bus->Write(port, c) == want, "Write");
                break;
            }
        }
        Check(bus->Link().lost == !model.Alive(), "the link's state");
    }
    bus.reset();

    std::string received;
    char buf[4096];
    for (ssize_t n; (n = ::recv(server.conn.Get(), buf, sizeof buf, 0)) > 0;) {
        received.append(buf, static_cast<size_t>(n));
    }
    Check(received == model.Requests(), "the requests differ from the calls");
    return 0;
}

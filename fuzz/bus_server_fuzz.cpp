// Fuzzes the emulated bus's server side: two client connections send any
// bytes (raw chunks or whole requests) and close at any point. A second bus
// with the same cards, driven directly, is the model: every reply must be the
// one the model gives, byte for byte, in order, one per request but a write;
// writes reach the cards in the same order; a connection may
// release only the claim it holds, and its claim ends with it.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "boards/BusProtocol.h"
#include "emulation/BusServer.h"
#include "emulation/IsaBus.h"
#include "platform/UnixAddress.h"

using namespace vantor;
namespace wire = vantor::boards::wire;
using vantor::fuzz::Check;

namespace {

struct Client {
    int fd = -1;
    std::vector<uint8_t> pending;  // bytes of a request not complete yet
    uint32_t claim = 0;            // the non-sharable claim it holds
};

// The served bus and the model, with the same cards. They live across
// inputs (a bus is costly to make) and see the same traffic, so they stay
// alike; each input starts and ends with no connection and no claim.
struct Buses {
    emulation::IsaBus served;
    emulation::IsaBus model;
    std::vector<emulation::BusWrite> servedWrites;  // of the current input
    std::vector<emulation::BusWrite> modelWrites;
    Buses() {
        for (emulation::IsaBus* bus : {&served, &model}) {
            bus->AddCard(0x88, 0x300);
            bus->AddCard(0x21, 0x220);
        }
        served.SetWriteObserver(
            [this](const emulation::BusWrite& w) { servedWrites.push_back(w); });
        model.SetWriteObserver([this](const emulation::BusWrite& w) { modelWrites.push_back(w); });
    }
};

Buses& TheBuses() {
    static Buses buses;
    return buses;
}

class Harness {
public:
    Harness() : m_buses(TheBuses()), m_bus(m_buses.served), m_model(m_buses.model) {
        m_buses.servedWrites.clear();
        m_buses.modelWrites.clear();
        std::string why;
        Check(m_server.Listen(m_path, why), "the bus server cannot listen");
    }
    ~Harness() {
        for (Client& c : m_clients) Close(c);
        Check(!m_bus.Claimed() && !m_model.Claimed(), "a claim outlived its connections");
        Check(m_buses.servedWrites == m_buses.modelWrites,
              "the cards saw other writes than the requests");
    }

    void Send(int which, const uint8_t* bytes, size_t size) {
        Client& c = m_clients[which];
        if (c.fd < 0) Open(c);
        Check(::send(c.fd, bytes, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size),
              "a client could not send");
        std::vector<uint8_t> expected;
        c.pending.insert(c.pending.end(), bytes, bytes + size);
        size_t used = 0;
        for (; c.pending.size() - used >= sizeof(wire::Request); used += sizeof(wire::Request)) {
            wire::Request q{};
            std::memcpy(&q, c.pending.data() + used, sizeof q);
            if (q.op == wire::kWrite) {
                m_model.Write(q.port, q.value);
                continue;
            }
            const wire::Reply r = ModelReply(c, q);
            const auto* p = reinterpret_cast<const uint8_t*>(&r);
            expected.insert(expected.end(), p, p + sizeof r);
        }
        c.pending.erase(c.pending.begin(), c.pending.begin() + static_cast<long>(used));

        std::vector<uint8_t> got;
        for (int steps = 0; steps < 8 && (steps == 0 || got.size() < expected.size()); ++steps) {
            m_server.Step(0);
            uint8_t buf[512];
            for (ssize_t n; (n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT)) > 0;) {
                got.insert(got.end(), buf, buf + n);
            }
        }
        Check(got == expected, "the replies differ from the model's");
        Check(m_bus.Claimed() == m_model.Claimed(), "the claim differs from the model's");
    }

    void Close(int which) { Close(m_clients[which]); }

private:
    void Open(Client& c) {
        const auto addr = platform::UnixAddress(m_path);
        c.fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        Check(c.fd >= 0 && ::connect(c.fd, addr.value().Get(), addr.value().length) == 0,
              "a client cannot connect");
        const int before = m_server.Connections();
        m_server.Step(0);
        Check(m_server.Connections() == before + 1, "a connection was not accepted");
    }

    void Close(Client& c) {
        if (c.fd < 0) return;
        ::close(c.fd);
        c.fd = -1;
        c.pending.clear();
        const int before = m_server.Connections();
        for (int steps = 0; steps < 8 && m_server.Connections() == before; ++steps) {
            m_server.Step(0);
        }
        Check(m_server.Connections() == before - 1, "a closed connection was kept");
        if (c.claim != 0) m_model.Release(c.claim);
        c.claim = 0;
        Check(m_bus.Claimed() == m_model.Claimed(), "a closed connection kept its claim");
    }

    // What the bus answers: the model's values; a claim or release that
    // concerns the connection's own claim only.
    wire::Reply ModelReply(Client& c, const wire::Request& q) {
        wire::Reply r{1, 0, 0, 0};
        switch (q.op) {
            case wire::kHello:
                r.word = static_cast<uint32_t>(m_model.Version());
                break;
            case wire::kClaim: {
                const bool sharable = (q.arg >> 16) != 0;
                r.word = m_model.Claim(q.port, static_cast<int>(q.arg & 0xFFFF), sharable);
                if (!sharable && r.word != 0) c.claim = r.word;
                break;
            }
            case wire::kRelease:
                if (q.arg != 0 && q.arg == c.claim) {
                    m_model.Release(q.arg);
                    c.claim = 0;
                }
                break;
            case wire::kRead:
                r.value = m_model.ReadPort(q.port);
                break;
            default:
                r.status = 0;
                break;
        }
        return r;
    }

    Buses& m_buses;
    emulation::IsaBus& m_bus;
    emulation::IsaBus& m_model;
    std::string m_path = vantor::fuzz::ScratchFile("bus.sock");
    emulation::BusServer m_server{m_bus};
    Client m_clients[2];
};

}  // namespace

// Input: commands. A byte's bit 0 picks the connection; bits 1-2: 0 and 1
// send the next (byte % 32) bytes as they are, 2 closes, 3 sends one request
// made of the next four bytes: op, port (two bytes) and a byte that is the
// value, the length of a claim (bit 7: sharable) or the handle to release.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Harness h;
    size_t i = 0;
    while (i < size) {
        const uint8_t b = data[i++];
        const int which = b & 1;
        switch ((b >> 1) & 3) {
            case 0:
            case 1: {
                if (i >= size) break;
                size_t n = data[i++] % 32;
                if (n > size - i) n = size - i;
                if (n > 0) h.Send(which, data + i, n);
                i += n;
                break;
            }
            case 2:
                h.Close(which);
                break;
            default: {
                if (size - i < 4) {
                    i = size;
                    break;
                }
                const uint8_t op = data[i] % 7;
                const uint16_t port = static_cast<uint16_t>(data[i + 1] | data[i + 2] << 8);
                const uint8_t x = data[i + 3];
                wire::Request q{op, x, port, 0};
                if (op == wire::kClaim) q.arg = (x & 0x1Fu) | (x & 0x80u ? 1u << 16 : 0u);
                if (op == wire::kRelease) q.arg = x % 8u;
                h.Send(which, reinterpret_cast<const uint8_t*>(&q), sizeof q);
                i += 4;
                break;
            }
        }
    }
    return 0;
}

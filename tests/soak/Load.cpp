#include "Load.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "platform/LoopbackUdp.h"
#include "protocol/BlockClient.h"
#include "protocol/NegPacket.h"
#include "vantor/CHardWare.h"

namespace vantor::soak {
namespace {

using namespace std::chrono_literals;

constexpr auto kBurstEvery = 10ms;
constexpr size_t kLargest = 9000;  // oversized: several times a packet

// One datagram that the server must read and drop: random bytes of any
// size, a packet cut short or grown too long, a well-marked packet with a
// code it does not act on, or a request whose text never ends. None names a
// peer the server could take into its table.
size_t MakeGarbage(std::mt19937& rng, std::vector<unsigned char>& buf) {
    auto randomBytes = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) buf[i] = static_cast<unsigned char>(rng());
    };
    protocol::NegPacket p = protocol::EmptyNegPacket();
    size_t size = sizeof p;
    switch (rng() % 5) {
        case 0:
            size = rng() % kLargest;
            randomBytes(0, size);
            return size;
        case 1:  // cut short, a DISCONNECT of nobody
            p.code = protocol::kNegCodeRequest;
            std::snprintf(reinterpret_cast<char*>(p.data), 64, "DISCONNECT,nobody-%u",
                          static_cast<unsigned>(rng() % 1000));
            size = rng() % sizeof p;
            break;
        case 2:  // too long
            p.code = protocol::kNegCodeRequestAlt;
            std::snprintf(reinterpret_cast<char*>(p.data), 64, "PORT,soak-ghost,%u",
                          static_cast<unsigned>(rng() % 65536));
            size = sizeof p + 1 + rng() % (kLargest - sizeof p);
            break;
        case 3:  // marks right, code wrong, a complete CONNECT inside
            do {
                p.code = static_cast<int32_t>(rng());
            } while (protocol::CarriesRequest(p));
            std::snprintf(reinterpret_cast<char*>(p.data), 64,
                          "CONNECT,soak-ghost-%u,x,127.0.0.1,1,0",
                          static_cast<unsigned>(rng() % 1000));
            break;
        default: {  // 512 bytes of text without an end: a CONNECT short of fields or noise
            p.code = protocol::kNegCodeRequest;
            char* text = reinterpret_cast<char*>(p.data);
            if (rng() % 2 == 0) {
                std::memset(text, 'A', protocol::kTextBytes);
                std::memcpy(text, "CONNECT,", 8);
            } else {
                for (int i = 0; i < protocol::kTextBytes; ++i)
                    text[i] = static_cast<char>(1 + rng() % 255);
            }
            break;
        }
    }
    std::memcpy(buf.data(), &p, sizeof p);
    if (size > sizeof p) randomBytes(sizeof p, size);
    return size;
}

}  // namespace

void SendGarbage(const std::stop_token& stop, SoakState& state, int perSecond, uint32_t seed) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to = platform::LoopbackAddress(protocol::kNegServerPort);
    std::mt19937 rng(seed ^ 0x9a7bu);
    std::vector<unsigned char> buf(kLargest);
    const auto start = Clock::now();
    for (uint64_t due = 0; !stop.stop_requested(); std::this_thread::sleep_for(kBurstEvery)) {
        // As many as the rate asks for by now: a late burst catches up.
        const auto target = static_cast<uint64_t>(SecondsBetween(start, Clock::now()) * perSecond);
        for (; due < target && !stop.stop_requested(); ++due) {
            const size_t size = MakeGarbage(rng, buf);
            if (::sendto(fd, buf.data(), size, 0, reinterpret_cast<const sockaddr*>(&to),
                         sizeof to) >= 0) {
                state.counts.datagrams.fetch_add(1, std::memory_order_relaxed);
            }
        }
    }
    ::close(fd);
}

void ReadBlock(const std::stop_token& stop, SoakState& state) {
    protocol::BlockClient client;
    if (client.Attach() != protocol::BlockClient::Status::Attached) {
        state.Violation("a reader cannot attach to the block: " + client.Error());
        return;
    }
    auto copy = std::make_unique<protocol::SharedBlock>();
    while (!stop.stop_requested()) {
        if (client.Read(*copy)) {
            state.counts.readerCopies.fetch_add(1, std::memory_order_relaxed);
        } else {
            state.Violation("a reader could not copy the block: " + client.Error());
        }
    }
}

void CallClient(const std::stop_token& stop, SoakState& state, int index, uint32_t seed) {
    std::mt19937 rng(seed + 101u * static_cast<uint32_t>(index));
    CHardWare hw;
    hw.SetNoticeHandler([](const std::string&) {});
    hw.Open("soak-client-" + std::to_string(index));
    std::vector<float> samples(1000);
    const int counters[] = {500, 501, 300, 301, 302, 303};
    for (uint64_t call = 0; !stop.stop_requested(); ++call) {
        // Only the calls that ask the server count as data calls.
        switch (call % 10) {
            case 0:
                hw.GetVer();
                hw.GetVersion();
                continue;
            case 1:
            case 2:
                hw.GetAnalog(static_cast<int>(rng() % kClientChannels), samples.data(),
                             1 + static_cast<long>(rng() % samples.size()));
                break;
            case 3:
                hw.GetFreb(200 + static_cast<int>(rng() % 8));
                break;
            case 4:
                hw.GetEnc3(counters[rng() % std::size(counters)]);
                break;
            case 5:
                hw.InPutDig(static_cast<int>(rng() % 16));
                break;
            case 6:
                hw.OutPutDig(kCtlOutputLines + static_cast<int>(rng() % kCtlOutputLines),
                             rng() % 2 == 0 ? HIGH : LOW);
                break;
            case 7:
                if (call % 100 != 7) continue;
                hw.ResetCNT();
                break;
            case 8:
                hw.GetErrMsg();
                continue;
            default:
                hw.SwitchCpu();  // a notice of the server's, if one waits
                continue;
        }
        state.counts.clientCalls.fetch_add(1, std::memory_order_relaxed);
    }
    hw.Close();
}

}  // namespace vantor::soak

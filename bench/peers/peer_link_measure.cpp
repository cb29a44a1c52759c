// Measures the negotiation link in one process over real loopback UDP, with
// the engine's real threads on ports the system picks:
//  - latency: CONNECT sent -> first sample of its new analog channel in the
//    shared data block, over 100 trials;
//  - flood: 10,000 CONNECT packets per second for 5 s, counted at the server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/AcqEngine.h"
#include "platform/IpcNames.h"
#include "platform/SharedMemoryObject.h"
#include "protocol/NegPacket.h"
#include "syslib/Korbel.h"

using namespace vantor::engine;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTrials = 100;
constexpr int kFloodRate = 10000;  // packets per second
constexpr int kFloodSeconds = 5;

class Link {
public:
    explicit Link(int port) : m_fd(::socket(AF_INET, SOCK_DGRAM, 0)) {
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(static_cast<uint16_t>(port));
        m_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~Link() { ::close(m_fd); }
    bool Send(const char* text, int analogId = -1) {
        AcqRequest r = EmptyRequest();
        std::snprintf(r.text, sizeof r.text, "%s", text);
        if (analogId >= 0) {
            r.analogIds[0] = analogId;
            r.analogSamples[0] = 1;
            r.analogCount = 1;
        }
        NegPacket p = EmptyNegPacket();
        SetRequest(p, r);
        return ::sendto(m_fd, &p, sizeof p, 0, reinterpret_cast<sockaddr*>(&m_to), sizeof m_to) ==
               static_cast<ssize_t>(sizeof p);
    }

private:
    int m_fd;
    sockaddr_in m_to{};
};

int32_t RingNext(CSharedMemory& block, int channel) {
    BlockLock lock(block);
    return static_cast<SharedBlock*>(block.GetData())->analogRing[channel].next;
}

template <typename Cond>
bool WaitUntil(Cond cond, int timeoutMs) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Latency(AcqEngine& engine, CSharedMemory& block, Link& link) {
    std::vector<double> ms;
    char text[128];
    for (int t = 0; t < kTrials; ++t) {
        const int channel = t % kAnalogChannels;
        // Start from a merged request without the channel and a ring at rest.
        engine.RebuildMergedRequest();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const int32_t before = RingNext(block, channel);
        std::snprintf(text, sizeof text, "CONNECT,lat%d,x,127.0.0.1,1,0", t);
        const auto t0 = Clock::now();
        link.Send(text, channel);
        while (RingNext(block, channel) == before) {
            if (Clock::now() - t0 > std::chrono::seconds(2)) break;
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        ms.push_back(Ms(Clock::now() - t0));
        std::snprintf(text, sizeof text, "DISCONNECT,lat%d", t);
        link.Send(text);
        WaitUntil([&] { return engine.Peers().Count() == 0; }, 1000);
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "connect-to-first-sample latency over %d trials: p50 %.2f ms, p90 %.2f ms, "
        "max %.2f ms\n",
        kTrials, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
}

void Flood(AcqEngine& engine, Link& link) {
    const uint64_t before = engine.PacketsRead();
    const int total = kFloodRate * kFloodSeconds;
    int sent = 0;
    int failed = 0;
    char text[128];
    const auto t0 = Clock::now();
    // 10 packets every millisecond, paced against the clock.
    for (int ms = 0; sent + failed < total; ++ms) {
        std::this_thread::sleep_until(t0 + std::chrono::milliseconds(ms));
        for (int i = 0; i < kFloodRate / 1000 && sent + failed < total; ++i) {
            std::snprintf(text, sizeof text, "CONNECT,flood%d,x,127.0.0.1,1,0",
                          (sent + failed) % 20);
            (link.Send(text, (sent + failed) % kAnalogChannels) ? sent : failed)++;
        }
    }
    const double seconds = Ms(Clock::now() - t0) / 1000.0;
    WaitUntil([&] { return engine.PacketsRead() - before >= static_cast<uint64_t>(sent); }, 3000);
    const uint64_t received = engine.PacketsRead() - before;
    std::printf(
        "flood: %d CONNECT packets sent in %.2f s (%.0f/s), %llu received, %lld lost, "
        "%d not sent\n",
        sent, seconds, sent / seconds, static_cast<unsigned long long>(received),
        static_cast<long long>(sent) - static_cast<long long>(received), failed);
}

}  // namespace

int main() {
    std::string ns = "bench" + std::to_string(::getpid()) + "_";
    ::setenv("VANTOR_IPC_NAMESPACE", ns.c_str(), 1);
    std::string dir = std::filesystem::temp_directory_path().string() + "/" + ns + "cfg";
    std::filesystem::create_directories(dir);
    if (FILE* f = std::fopen((dir + "/AcqCfg.ini").c_str(), "w")) {
        std::fputs("[HK]\nMODE=1\n", f);
        std::fclose(f);
    }
    if (DMI_Load(1) != 1) {
        std::fprintf(stderr, "bench_peer_link: the system library did not load\n");
        return 1;
    }
    int rc = 0;
    {
        CSharedMemory block;
        if (!block.Create("NXSharedMemory", kBlockSize)) return 1;
        AcqEngine engine(block);
        engine.SetConfigDir(dir);
        engine.ReadConfig();
        engine.SetNetPorts(0, 0);
        engine.StartAcquisition();
        const int port = DMI_GetNetPort(0);
        if (port <= 0) {
            std::fprintf(stderr, "bench_peer_link: the link did not open\n");
            rc = 1;
        } else {
            Link link(port);
            Latency(engine, block, link);
            Flood(engine, link);
        }
        engine.StopThreads();
    }
    DMI_CloseNet(0);
    DMI_Unload();
    std::filesystem::remove_all(dir);
    vantor::platform::SharedMemoryObject::Unlink(vantor::platform::ShmName("NXSharedMemory"));
    vantor::platform::SharedMemoryObject::Unlink(vantor::platform::ShmName("NXSharedMemoryMutex"));
    return rc;
}

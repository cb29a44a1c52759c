// Measures client programs against the real server (vantor --headless on the
// simulated board, in an IPC namespace and configuration of its own):
//  - round trip of GetAnalog(ch, 1000), GetFreb and InPutDig in MODE 1, p50
//    and p99 over 2,000 calls each, next to a bare Unix-datagram ping-pong
//    with the same request and reply sizes in this process, and a bare
//    synchronous send on the copy-data bus that the server answers at once;
//  - four clients calling as fast as they can for N seconds (default 10):
//    calls per second, calls without a reply, and the server's cycle rate
//    before and during the load (from the simulated counter in the block).
//   bench_client [SECONDS]
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/CopyDataBus.h"
#include "platform/Paths.h"
#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"
#include "vantor/CHardWare.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kCalls = 2000;

struct Figures {
    double p50 = 0;
    double p99 = 0;
};

Figures Percentiles(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 99 / 100]};
}

Figures Time(const std::function<void()>& call) {
    for (int i = 0; i < 100; ++i) call();  // warm up
    std::vector<double> us;
    us.reserve(kCalls);
    for (int i = 0; i < kCalls; ++i) {
        const auto t = Clock::now();
        call();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t).count());
    }
    return Percentiles(std::move(us));
}

// request bytes out, reply bytes back, over a socket pair of datagrams with
// an echo thread: the floor any message round trip stands on.
Figures BarePingPong(size_t request, size_t reply) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_DGRAM, 0, fds) != 0) return {};
    std::thread echo([&] {
        std::vector<char> in(65536), out(reply);
        for (;;) {
            const ssize_t n = ::recv(fds[1], in.data(), in.size(), 0);
            if (n <= 0) return;
            if (::send(fds[1], out.data(), out.size(), 0) < 0) return;
        }
    });
    std::vector<char> out(request), in(65536);
    const Figures f = Time([&] {
        (void)!::send(fds[0], out.data(), out.size(), 0);
        (void)!::recv(fds[0], in.data(), in.size(), 0);
    });
    (void)!::send(fds[0], out.data(), 0, 0);  // an empty datagram ends the echo
    ::close(fds[0]);
    echo.join();
    ::close(fds[1]);
    return f;
}

// The simulated counter 300 counts one a cycle.
double CycleRate(vantor::protocol::CSharedMemory& block, double seconds) {
    auto read = [&] {
        vantor::protocol::BlockLock lock(block);
        return static_cast<const vantor::protocol::SharedBlock*>(block.GetData())->counterValue[0];
    };
    const float a = read();
    const auto t = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const float b = read();
    return (b - a) / std::chrono::duration<double>(Clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int loadSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
    namespace fs = std::filesystem;
    const std::string ns = "benchclient" + std::to_string(::getpid());
    const fs::path config = fs::temp_directory_path() / ns;
    fs::create_directories(config);
    std::FILE* f = std::fopen((config / "AcqCfg.ini").c_str(), "w");
    if (f == nullptr) return 1;
    std::fputs("[HK]\nMODE=1\n", f);
    std::fclose(f);
    ::setenv("VANTOR_IPC_NAMESPACE", ns.c_str(), 1);
    ::setenv("VANTOR_CONFIG_DIR", config.c_str(), 1);
    ::setenv("VANTOR_PORT_DEVICE", "unix:/nonexistent", 1);

    const std::string server = vantor::platform::ExecutableDir() + "/vantor";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (std::freopen("/dev/null", "w", stderr) == nullptr) ::_exit(126);
        ::execl(server.c_str(), server.c_str(), "--headless", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!vantor::platform::CopyDataFind("Vantor") && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    vantor::protocol::CSharedMemory block;
    if (!vantor::platform::CopyDataFind("Vantor") ||
        !block.Create("NXSharedMemory", vantor::protocol::kBlockSize)) {
        std::fprintf(stderr, "the server did not start\n");
        ::kill(pid, SIGTERM);
        return 1;
    }

    {
        CHardWare hw;
        hw.Open("bench0");
        std::vector<float> buffer(1000);
        (void)hw.GetAnalog(0, buffer.data(), 1000);
        (void)hw.GetEnc3(300);  // the counter joins the request: the cycle clock
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the ring fills
        const Figures analog = Time([&] { (void)hw.GetAnalog(0, buffer.data(), 1000); });
        const Figures bareAnalog = BarePingPong(108, 4000 + 24);
        const Figures freq = Time([&] { (void)hw.GetFreb(200); });
        const Figures bareFreq = BarePingPong(104, 4 + 24);
        const Figures din = Time([&] { (void)hw.InPutDig(3); });
        // The copy-data bus alone: a synchronous send the server answers at once.
        const Figures bus = Time([] {
            (void)vantor::platform::CopyDataSend("Vantor", 2002, 0, nullptr, 0);
        });
        const Figures bareDin = BarePingPong(108, 108 + 24);
        std::printf("MODE 1 round trip, %d calls each (microseconds)\n", kCalls);
        std::printf("  %-22s p50 %8.1f  p99 %8.1f   bare ping-pong p50 %6.1f  p99 %6.1f\n",
                    "GetAnalog(0, 1000)", analog.p50, analog.p99, bareAnalog.p50, bareAnalog.p99);
        std::printf("  %-22s p50 %8.1f  p99 %8.1f   bare ping-pong p50 %6.1f  p99 %6.1f\n",
                    "GetFreb(200)", freq.p50, freq.p99, bareFreq.p50, bareFreq.p99);
        std::printf("  %-22s p50 %8.1f  p99 %8.1f   bare ping-pong p50 %6.1f  p99 %6.1f\n",
                    "InPutDig(3)", din.p50, din.p99, bareDin.p50, bareDin.p99);
        std::printf("  %-22s p50 %8.1f  p99 %8.1f\n", "bus send (code 2002)", bus.p50, bus.p99);
        hw.Close();
    }

    const double idleRate = CycleRate(block, 2.0);
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    std::atomic<long> unanswered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&, c] {
            CHardWare hw;
            hw.Open("bench" + std::to_string(c + 1));
            std::vector<float> buffer(100);
            for (long i = 0; !stop.load(); ++i) {
                switch (i % 3) {
                    case 0:
                        if (hw.GetAnalog(c, buffer.data(), 100) <= 0) ++unanswered;
                        break;
                    case 1:
                        if (hw.GetEnc3(300) <= 0) ++unanswered;
                        break;
                    default:
                        (void)hw.InPutDig(c);
                        break;
                }
                ++calls;
            }
            hw.Close();
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long before = calls.load();
    const double loadRate = CycleRate(block, loadSeconds);
    const long made = calls.load() - before;
    stop = true;
    for (auto& t : clients) t.join();
    std::printf("four clients for %d s: %.0f calls/s, %ld without a reply (of %ld)\n", loadSeconds,
                static_cast<double>(made) / loadSeconds, unanswered.load(), calls.load());
    std::printf("server cycles/s: %.1f idle, %.1f under load (%+.1f %%)\n", idleRate, loadRate,
                100.0 * (loadRate - idleRate) / idleRate);

    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    fs::remove_all(config);
    return 0;
}

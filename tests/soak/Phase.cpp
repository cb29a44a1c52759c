#include "Phase.h"

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include "Monitor.h"
#include "support/ChildProcess.h"

namespace vantor::soak {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr double kIdleSeconds = 3;
constexpr double kSettleSeconds = 1;
// The load's first seconds are left out of the loaded rate: threads start,
// clients register, the peers' channels join.
constexpr int kWarmUpSeconds = 2;
constexpr int kStartPatienceMs = 60000;  // generous: sanitizer builds start slowly

struct ProcFigures {
    long rssKb = 0;
    long fds = 0;
};

ProcFigures Sample(pid_t pid) {
    ProcFigures f;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) f.rssKb = std::atol(line.c_str() + 6);
    }
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        ++f.fds;
    }
    return f;
}

unsigned long long N(const std::atomic<uint64_t>& n) {
    return n.load();
}

void StopAll(std::vector<std::jthread>& threads) {
    for (auto& t : threads) t.request_stop();
    threads.clear();
}

}  // namespace

uint64_t RunPhase(const PhaseOptions& o) {
    const std::string name = o.card ? "board" : "sim";
    SoakState state(name);
    auto interrupted = [&] { return o.interrupted != nullptr && o.interrupted->load(); };
    // Sleeps in small steps; false when the soak was interrupted.
    auto wait = [&](double seconds) {
        for (auto end = Clock::now() + std::chrono::duration<double>(seconds); Clock::now() < end;
             std::this_thread::sleep_for(20ms)) {
            if (interrupted()) return false;
        }
        return true;
    };
    const std::string dir = o.workDir + "/" + name;
    for (const char* sub : {"/server", "/boardsim", "/ctl"}) fs::create_directories(dir + sub);
    if (const char* config = std::getenv("VANTOR_CONFIG_DIR")) {
        test::WriteFile(std::string(config) + "/AcqCfg.ini", "[HK]\nMODE=1\n");
    }

    const std::string bus = dir + "/bus";
    std::optional<test::ChildProcess> sim;
    if (o.card) {
        sim.emplace("vantor-boardsim",
                    std::vector<std::string>{"--endpoint", bus, "--card", "0x24@0x2E0", "--analog",
                                             "0=1.25", "--din", "8001", "--freq", "1=50",
                                             "--counter", "0=1234"},
                    std::vector<std::string>{}, dir + "/boardsim");
        if (!sim->WaitForText("ready", false, kStartPatienceMs)) {
            state.Violation("vantor-boardsim did not start: " + sim->Stderr());
            return state.Violations();
        }
    }
    test::ChildProcess server("vantor", {"--headless"},
                              {"VANTOR_PORT_DEVICE=unix:" + (o.card ? bus : dir + "/no-bus")},
                              dir + "/server");
    if (!server.WaitForText("peers: none", true, kStartPatienceMs)) {
        state.Violation("the server did not start: " + server.Stderr());
        return state.Violations();
    }
    const std::string board = o.card ? "PCM 8603" : "SIM Hardware";
    if (server.Stderr().find("board: " + board) == std::string::npos) {
        state.Violation("the server did not open the " + board + " board");
    }

    Monitor monitor(state, !o.card);
    std::atomic<bool> churn{false};
    std::vector<std::jthread> peers;
    peers.emplace_back(RunPeers, std::ref(state), std::cref(churn), o.seed);
    peers.emplace_back(ReceivePorts, std::ref(state));
    // After a settling second, the quiet rate for a few seconds; false when interrupted.
    auto measureQuiet = [&](Monitor::Measure what) {
        if (!wait(kSettleSeconds)) return false;
        monitor.measure = what;
        wait(kIdleSeconds);
        monitor.measure = Monitor::kNone;
        return true;
    };
    if (!test::Eventually([&] { return monitor.metronome.load() > 0 || interrupted(); },
                          std::chrono::milliseconds(kStartPatienceMs)) ||
        interrupted()) {
        if (!interrupted()) state.Violation("the metronome peer's channel never moved");
    } else if (measureQuiet(Monitor::kIdle)) {
        const ProcFigures start = Sample(server.Pid());
        ProcFigures end;
        ProcFigures max = start;
        auto track = [&max](const ProcFigures& f) {
            max.rssKb = std::max(max.rssKb, f.rssKb);
            max.fds = std::max(max.fds, f.fds);
        };
        const int loadSeconds =
            static_cast<int>(std::max(5.0, o.seconds - kIdleSeconds - kSettleSeconds));
        const auto loadStart = Clock::now();
        churn = true;
        std::vector<std::jthread> load;
        load.emplace_back(DriveCtl, std::ref(state), o.card, dir + "/ctl", o.seed);
        load.emplace_back(SendGarbage, std::ref(state), o.shape.datagramsPerSecond, o.seed);
        for (int i = 0; i < o.shape.readers; ++i) load.emplace_back(ReadBlock, std::ref(state));
        for (int i = 0; i < o.shape.clients; ++i) {
            load.emplace_back(CallClient, std::ref(state), i, o.seed);
        }
        bool alive = true;
        for (int s = 1; alive && !interrupted() && s <= loadSeconds; ++s) {
            std::this_thread::sleep_until(loadStart + std::chrono::seconds(s));
            if (s == kWarmUpSeconds) monitor.measure = Monitor::kLoaded;
            alive = server.Running();
            if (alive) track(Sample(server.Pid()));
        }
        monitor.measure = Monitor::kNone;
        StopAll(load);
        churn = false;
        const double held = SecondsBetween(loadStart, Clock::now());
        if (!alive) state.Violation("the server died under load: " + server.Stderr());
        // Quiet again, on the same channels: the machine's own load may have
        // changed meanwhile, so the quiet rate is measured on both sides.
        if (alive) {
            measureQuiet(Monitor::kIdleAfter);
            end = Sample(server.Pid());
            track(end);
        }
        monitor.Stop();
        StopAll(peers);

        const RateFigures& loaded = monitor.rates[Monitor::kLoaded];
        const double before = monitor.rates[Monitor::kIdle].Rate();
        const double after = monitor.rates[Monitor::kIdleAfter].Rate();
        const double idle = after > 0 ? (before + after) / 2 : before;
        const double change = idle > 0 ? (loaded.Rate() - idle) / idle * 100 : 0;
        if (alive && !interrupted() && (idle <= 0 || -change > o.tolerancePercent)) {
            state.Violation("the loaded cycle rate is more than " +
                            std::to_string(static_cast<int>(o.tolerancePercent)) +
                            " % below the quiet rate");
        }
        const LoadCounts& c = state.counts;
        auto perSecond = [held](const std::atomic<uint64_t>& n) {
            return held > 0 ? static_cast<double>(n.load()) / held : 0;
        };
        std::printf(
            "soak %s: load held %.1f s: peers %d+1 (CONNECT %llu, list changes %llu, DISCONNECT "
            "%llu, fell silent %llu, PORT heard %llu), datagrams/s %.0f, reader copies/s %.0f, "
            "client calls/s %.0f, vantorctl runs %llu (mode switches %llu)\n",
            name.c_str(), held, kChurningPeers, N(c.connects), N(c.listChanges), N(c.disconnects),
            N(c.silences), N(c.portMessages), perSecond(c.datagrams), perSecond(c.readerCopies),
            perSecond(c.clientCalls), N(c.ctlRuns), N(c.modeSwitches));
        std::printf(
            "soak %s: cycle rate idle %.1f/s (before %.1f/s, after %.1f/s), loaded %.1f/s (slowest "
            "5 s: %.1f/s), change %+.1f %% (limit -%.0f %%)\n",
            name.c_str(), idle, before, after, loaded.Rate(), loaded.minWindow, change,
            o.tolerancePercent);
        std::printf("soak %s: monitor looks %llu, longest gap %.1f ms, late looks %llu\n",
                    name.c_str(), N(c.looks), monitor.longestGapMs,
                    static_cast<unsigned long long>(monitor.lateLooks));
        std::printf("soak %s: server RSS start %ld kB, end %ld kB, max %ld kB, growth %+ld kB\n",
                    name.c_str(), start.rssKb, end.rssKb, max.rssKb, end.rssKb - start.rssKb);
        std::printf("soak %s: server fds start %ld, end %ld, max %ld\n", name.c_str(), start.fds,
                    end.fds, max.fds);
    }
    monitor.Stop();
    StopAll(peers);

    server.Signal(SIGTERM);
    const int code = server.ExitCode(kStartPatienceMs);
    if (code != 0) {
        state.Violation("the server did not end cleanly on SIGTERM (exit code " +
                        std::to_string(code) + ")");
    }
    if (sim) sim->Signal(SIGTERM);
    std::printf("soak %s: violations %llu\n", name.c_str(),
                static_cast<unsigned long long>(state.Violations()));
    std::fflush(stdout);
    return state.Violations();
}

}  // namespace vantor::soak

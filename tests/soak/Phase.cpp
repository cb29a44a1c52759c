#include "Phase.h"

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "CtlDriver.h"
#include "Monitor.h"
#include "PeerChurn.h"
#include "support/ChildProcess.h"

namespace vantor::soak {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr double kIdleSeconds = 3;
constexpr double kSettleSeconds = 1;
// The load's first seconds are left out of the loaded rate: threads start,
// clients register, the peers' channels join.
constexpr double kWarmUpSeconds = 2;
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

struct ProcTrack {
    ProcFigures start, end, max;
    void Add(const ProcFigures& f) {
        max.rssKb = std::max(max.rssKb, f.rssKb);
        max.fds = std::max(max.fds, f.fds);
    }
};

bool Interrupted(const PhaseOptions& o) {
    return o.interrupted != nullptr && o.interrupted->load();
}

// Sleeps in small steps; false when the soak was interrupted.
bool Wait(const PhaseOptions& o, double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (Interrupted(o)) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

double PerSecond(uint64_t n, double seconds) {
    return seconds > 0 ? static_cast<double>(n) / seconds : 0;
}

}  // namespace

uint64_t RunPhase(const PhaseOptions& o) {
    const std::string name = o.card ? "board" : "sim";
    SoakState state(name);
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
    PeerChurn peers(state, o.seed);
    monitor.Start();
    peers.Start();
    if (!test::Eventually([&] { return monitor.MetronomeCycles() > 0 || Interrupted(o); },
                          std::chrono::milliseconds(kStartPatienceMs)) ||
        Interrupted(o)) {
        if (!Interrupted(o)) state.Violation("the metronome peer's channel never moved");
    } else if (Wait(o, kSettleSeconds)) {
        monitor.SetMeasure(Monitor::Measure::Idle);
        Wait(o, kIdleSeconds);
        monitor.SetMeasure(Monitor::Measure::None);

        ProcTrack proc;
        proc.start = Sample(server.Pid());
        proc.Add(proc.start);
        Load load(state, o.shape, o.seed);
        CtlDriver ctl(state, o.card, dir + "/ctl", o.seed);
        const double loadSeconds = std::max(5.0, o.seconds - kIdleSeconds - kSettleSeconds);
        const auto loadStart = Clock::now();
        peers.StartChurn();
        load.Start();
        ctl.Start();
        bool alive = true;
        for (int s = 1; alive && !Interrupted(o) && s <= static_cast<int>(loadSeconds); ++s) {
            std::this_thread::sleep_until(loadStart + std::chrono::seconds(s));
            if (s == static_cast<int>(kWarmUpSeconds)) monitor.SetMeasure(Monitor::Measure::Loaded);
            alive = server.Running();
            if (alive) proc.Add(Sample(server.Pid()));
        }
        monitor.SetMeasure(Monitor::Measure::None);
        ctl.Stop();
        load.Stop();
        peers.StopChurn();
        const double held = SecondsBetween(loadStart, Clock::now());
        if (!alive) state.Violation("the server died under load: " + server.Stderr());
        // Quiet again, on the same channels: the machine's own load may have
        // changed meanwhile, so the quiet rate is measured on both sides.
        if (alive && Wait(o, kSettleSeconds)) {
            monitor.SetMeasure(Monitor::Measure::IdleAfter);
            Wait(o, kIdleSeconds);
            monitor.SetMeasure(Monitor::Measure::None);
        }
        if (alive) proc.end = Sample(server.Pid());
        proc.Add(proc.end);
        monitor.Stop();
        peers.Stop();

        const RateFigures& loaded = monitor.Loaded();
        const double before = monitor.Idle().Rate();
        const double after = monitor.IdleAfter().Rate();
        const double idle = after > 0 ? (before + after) / 2 : before;
        const double change = idle > 0 ? (loaded.Rate() - idle) / idle * 100 : 0;
        if (alive && !Interrupted(o) && (idle <= 0 || -change > o.tolerancePercent)) {
            state.Violation("the loaded cycle rate is more than " +
                            std::to_string(static_cast<int>(o.tolerancePercent)) +
                            " % below the quiet rate");
        }
        const LoadCounts& c = state.counts;
        std::printf(
            "soak %s: load held %.1f s: peers %d+1 (CONNECT %llu, list changes %llu, DISCONNECT "
            "%llu, fell silent %llu, PORT heard %llu), datagrams/s %.0f, reader copies/s %.0f, "
            "client calls/s %.0f, vantorctl runs %llu (mode switches %llu)\n",
            name.c_str(), held, kChurningPeers, static_cast<unsigned long long>(c.connects.load()),
            static_cast<unsigned long long>(c.listChanges.load()),
            static_cast<unsigned long long>(c.disconnects.load()),
            static_cast<unsigned long long>(c.silences.load()),
            static_cast<unsigned long long>(c.portMessages.load()),
            PerSecond(c.datagrams.load(), held), PerSecond(c.readerCopies.load(), held),
            PerSecond(c.clientCalls.load(), held),
            static_cast<unsigned long long>(c.ctlRuns.load()),
            static_cast<unsigned long long>(c.modeSwitches.load()));
        std::printf(
            "soak %s: cycle rate idle %.1f/s (before %.1f/s, after %.1f/s), loaded %.1f/s (slowest "
            "5 s: %.1f/s), change %+.1f %% (limit -%.0f %%)\n",
            name.c_str(), idle, before, after, loaded.Rate(), loaded.minWindow, change,
            o.tolerancePercent);
        std::printf("soak %s: monitor looks %llu, longest gap %.1f ms, late looks %llu\n",
                    name.c_str(), static_cast<unsigned long long>(c.looks.load()),
                    monitor.LongestGapMs(), static_cast<unsigned long long>(monitor.LateLooks()));
        std::printf("soak %s: server RSS start %ld kB, end %ld kB, max %ld kB, growth %+ld kB\n",
                    name.c_str(), proc.start.rssKb, proc.end.rssKb, proc.max.rssKb,
                    proc.end.rssKb - proc.start.rssKb);
        std::printf("soak %s: server fds start %ld, end %ld, max %ld\n", name.c_str(),
                    proc.start.fds, proc.end.fds, proc.max.fds);
    }
    monitor.Stop();
    peers.Stop();

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

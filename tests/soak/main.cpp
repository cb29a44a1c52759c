// vantor-soak: runs the real server under load for a given time, half of it
// on the simulated board and half on the card vantor-boardsim serves, and
// checks that no reader loses samples, outputs reach inputs, the cycle rate
// holds and the server ends cleanly. Prints one line per figure; exit code 0
// when nothing was violated, 1 otherwise, 2 for bad arguments.
// Uses the link's fixed UDP ports: run it under the ports lock
// (scripts/soak.sh does).
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Phase.h"
#include "support/TestEnv.h"

namespace {

std::atomic<bool> g_bInterrupted{false};

void OnSignal(int) {
    g_bInterrupted.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using vantor::soak::PhaseOptions;

    CLI::App app{"Soak and load test of the Vantor server"};
    double seconds = 60;
    std::string phases = "both";
    bool keep = false;
    PhaseOptions options;
    options.seed = static_cast<uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count() & 0xFFFFFFFFu);
    options.interrupted = &g_bInterrupted;
    app.add_option("seconds", seconds, "total time, split between the two boards")
        ->check(CLI::Range(10.0, 7 * 24 * 3600.0));
    app.add_option("--boards", phases, "sim, board or both")
        ->check(CLI::IsMember({"sim", "board", "both"}));
    app.add_option("--seed", options.seed,
                   "seed of the random load (printed; default: from the clock)");
    app.add_option("--tolerance", options.tolerancePercent,
                   "allowed drop of the cycle rate under load, in %")
        ->check(CLI::Range(0.0, 100.0));
    app.add_option("--datagrams", options.shape.datagramsPerSecond, "garbage datagrams per second")
        ->check(CLI::Range(0, 1000000));
    app.add_option("--readers", options.shape.readers, "threads copying the block")
        ->check(CLI::Range(0, 64));
    app.add_option("--clients", options.shape.clients, "client library objects calling")
        ->check(CLI::Range(0, 64));
    app.add_flag("--keep", keep, "keep the logs of the server, boardsim and vantorctl");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    // A namespace and directories of our own: nothing of another server or
    // test meets ours, and the clients never start a server by themselves.
    const std::string ns = "soak" + std::to_string(::getpid()) + "_";
    const std::string root =
        fs::temp_directory_path().string() + "/vantor-soak" + std::to_string(::getpid());
    std::error_code ec;
    for (const char* dir : {"/config", "/crash", "/logs"}) fs::create_directories(root + dir, ec);
    ::setenv("VANTOR_IPC_NAMESPACE", ns.c_str(), 1);
    ::setenv("VANTOR_CONFIG_DIR", (root + "/config").c_str(), 1);
    ::setenv("VANTOR_CRASH_DIR", (root + "/crash").c_str(), 1);
    ::setenv("VANTOR_SERVER_DIR", (root + "/no-server-here").c_str(), 1);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);

    std::printf("soak: %.0f s, boards %s, seed %u, namespace %s\n", seconds, phases.c_str(),
                options.seed, ns.c_str());
    std::fflush(stdout);
    options.seconds = seconds / (phases == "both" ? 2 : 1);
    options.workDir = root + "/logs";
    uint64_t violations = 0;
    for (const bool card : {false, true}) {
        if (phases == (card ? "sim" : "board") || g_bInterrupted.load()) continue;
        options.card = card;
        violations += vantor::soak::RunPhase(options);
    }
    // A crash report means a server died, whatever else it said.
    for (const auto& entry : fs::directory_iterator(root + "/crash", ec)) {
        std::printf("soak: crash report %s\n", entry.path().c_str());
        ++violations;
    }
    std::printf("soak: violations %llu%s\n", static_cast<unsigned long long>(violations),
                g_bInterrupted.load() ? " (interrupted)" : "");
    vantor::test::RemoveNamespaceObjects(ns);
    if (violations == 0 && !keep) {
        fs::remove_all(root, ec);
    } else {
        std::printf("soak: logs in %s/logs\n", root.c_str());
    }
    return violations == 0 && !g_bInterrupted.load() ? 0 : 1;
}

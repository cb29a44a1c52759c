#include <random>
#include <thread>
#include <vector>

#include "Load.h"
#include "support/ChildProcess.h"

namespace vantor::soak {

using namespace std::chrono_literals;

void DriveCtl(const std::stop_token& stop, SoakState& state, bool card, const std::string& logDir,
              uint32_t seed) {
    // A vantorctl run waits up to 5 s for the mutex; a switch waits for the
    // acquisition to stop. Long, so only a hung server fails here.
    constexpr int kPatienceMs = 60000;
    // True when vantorctl ended with exit code `expected`; `said` gets its output.
    auto ctl = [&](const std::vector<std::string>& args, int expected,
                   std::string* said = nullptr) {
        test::ChildProcess run("vantorctl", args, {}, logDir);
        const int code = run.ExitCode(kPatienceMs);
        state.counts.ctlRuns.fetch_add(1);
        if (said != nullptr) *said = run.Stdout() + run.Stderr();
        if (code == expected) return true;
        std::string line = "vantorctl";
        for (const auto& a : args) line += " " + a;
        state.Violation(line + ": exit code " + std::to_string(code) + ", expected " +
                        std::to_string(expected) + ": " + run.Stderr());
        return false;
    };
    auto pause = [&](std::chrono::milliseconds d) {
        for (auto end = Clock::now() + d; !stop.stop_requested() && Clock::now() < end;) {
            std::this_thread::sleep_for(50ms);
        }
    };
    std::mt19937 rng(seed ^ 0xc71u);
    for (int round = 1; !stop.stop_requested(); ++round, pause(2s)) {
        const int line = static_cast<int>(rng() % kCtlOutputLines);
        const int level = static_cast<int>(rng() % 2);
        if (ctl({"set-output", std::to_string(line), std::to_string(level)}, 0)) {
            state.ExpectOutput(line, level);
        }
        ctl({"hold", std::to_string(rng() % 4), std::to_string(rng() % 2)}, 0);
        if (round % 5 != 0) continue;
        state.counts.modeSwitches.fetch_add(1);
        if (!card) {
            std::string said;
            ctl({"mode", "2"}, 1, &said);
            if (said.find("simulated board") == std::string::npos) {
                state.Violation("vantorctl mode 2 on the simulated board: " + said);
            }
            ctl({"mode", "1"}, 0);
            continue;
        }
        state.Pause();
        ctl({"mode", "2"}, 0);
        pause(1s);
        // Back in any case: a soak left in synchronous mode samples nothing.
        ctl({"mode", "1"}, 0);
        state.Resume();
    }
}

}  // namespace vantor::soak

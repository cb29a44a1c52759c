#include "CtlDriver.h"

#include <random>

#include "support/ChildProcess.h"

namespace vantor::soak {
namespace {

using namespace std::chrono_literals;

constexpr auto kEvery = 2s;
constexpr int kModeEveryRounds = 5;
// A vantorctl run waits up to 5 s for the mutex; a switch waits for the
// acquisition to stop. Long, so only a hung server fails here.
constexpr int kCtlPatienceMs = 60000;

}  // namespace

void CtlDriver::Start() {
    m_thread = std::thread([this] { Run(); });
}

void CtlDriver::Stop() {
    m_stop.store(true);
    if (m_thread.joinable()) m_thread.join();
}

bool CtlDriver::Ctl(const std::vector<std::string>& args, int expected, std::string* out) {
    test::ChildProcess ctl("vantorctl", args, {}, m_logDir);
    const int code = ctl.ExitCode(kCtlPatienceMs);
    m_state.counts.ctlRuns.fetch_add(1);
    if (out != nullptr) *out = ctl.Stdout() + ctl.Stderr();
    if (code == expected) return true;
    std::string line = "vantorctl";
    for (const auto& a : args) line += " " + a;
    m_state.Violation(line + ": exit code " + std::to_string(code) + ", expected " +
                      std::to_string(expected) + ": " + ctl.Stderr());
    return false;
}

void CtlDriver::SwitchModes() {
    m_state.counts.modeSwitches.fetch_add(1);
    if (!m_card) {
        std::string said;
        Ctl({"mode", "2"}, 1, &said);
        if (said.find("simulated board") == std::string::npos) {
            m_state.Violation("vantorctl mode 2 on the simulated board: " + said);
        }
        Ctl({"mode", "1"}, 0);
        return;
    }
    m_state.Pause();
    Ctl({"mode", "2"}, 0);
    for (int i = 0; i < 10 && !m_stop.load(); ++i) std::this_thread::sleep_for(100ms);
    // Back in any case: a soak left in synchronous mode samples nothing.
    Ctl({"mode", "1"}, 0);
    m_state.Resume();
}

void CtlDriver::Run() {
    std::mt19937 rng(m_seed ^ 0xc71u);
    for (int round = 1; !m_stop.load(); ++round) {
        const int line = static_cast<int>(rng() % kCtlOutputLines);
        const int level = static_cast<int>(rng() % 2);
        if (Ctl({"set-output", std::to_string(line), std::to_string(level)}, 0)) {
            m_state.ExpectOutput(line, level);
        }
        Ctl({"hold", std::to_string(rng() % 4), std::to_string(rng() % 2)}, 0);
        if (round % kModeEveryRounds == 0) SwitchModes();
        for (auto end = Clock::now() + kEvery; !m_stop.load() && Clock::now() < end;) {
            std::this_thread::sleep_for(50ms);
        }
    }
}

}  // namespace vantor::soak

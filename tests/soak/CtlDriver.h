#pragma once
// Real vantorctl processes against the running server every few seconds:
// set-output (whose input the monitor then expects to follow on the
// simulated board), hold, and mode switches. On the simulated board the
// switch to synchronous mode must be refused; on a card it happens, and the
// monitor pauses while the server is between modes.
#include <string>
#include <thread>
#include <vector>

#include "SoakState.h"

namespace vantor::soak {

class CtlDriver {
public:
    CtlDriver(SoakState& state, bool card, std::string logDir, uint32_t seed)
        : m_state(state), m_card(card), m_logDir(std::move(logDir)), m_seed(seed) {}
    ~CtlDriver() { Stop(); }
    CtlDriver(const CtlDriver&) = delete;
    CtlDriver& operator=(const CtlDriver&) = delete;

    void Start();
    void Stop();

private:
    void Run();
    // Runs vantorctl with args; true when it ended with exit code `expected`.
    bool Ctl(const std::vector<std::string>& args, int expected, std::string* out = nullptr);
    void SwitchModes();

    SoakState& m_state;
    bool m_card;
    std::string m_logDir;
    uint32_t m_seed;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace vantor::soak

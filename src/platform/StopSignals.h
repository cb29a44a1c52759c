#pragma once
// SIGINT/SIGTERM as a polite request to end a long-running program or
// subcommand (vantorctl watch and peer, vantor-mqtt), which then finishes its
// current step and cleans up.
#include <signal.h>

#include <atomic>

namespace vantor::platform {

bool StopRequested();
void ClearStop();
// The flag the handlers set, for loops that take an atomic to watch.
const std::atomic<bool>& StopFlag();

// Installs the stop handlers for its lifetime. SA_RESETHAND: a second Ctrl-C
// ends the program at once, e.g. when the block's mutex is never freed.
class StopSignals {
public:
    explicit StopSignals(bool install);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    bool m_installed;
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

}  // namespace vantor::platform

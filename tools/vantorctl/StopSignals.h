#pragma once
// SIGINT/SIGTERM as a polite request to end a long-running subcommand (watch,
// peer), which then finishes its current step and cleans up.
#include <signal.h>

namespace vantor::ctl {

bool StopRequested();
void ClearStop();

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

}  // namespace vantor::ctl

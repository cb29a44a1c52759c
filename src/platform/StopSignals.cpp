#include "platform/StopSignals.h"

namespace vantor::platform {
namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);  // safe in a signal handler

void OnStopSignal(int /*signal*/) {
    g_stop.store(true);
}

}  // namespace

bool StopRequested() {
    return g_stop.load();
}

void ClearStop() {
    g_stop.store(false);
}

const std::atomic<bool>& StopFlag() {
    return g_stop;
}

StopSignals::StopSignals(bool install) : m_installed(install) {
    if (!m_installed) return;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &m_oldInt);
    sigaction(SIGTERM, &sa, &m_oldTerm);
}

StopSignals::~StopSignals() {
    if (!m_installed) return;
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
}

}  // namespace vantor::platform

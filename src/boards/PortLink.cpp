#include "boards/PortLink.h"

#include "platform/Trace.h"

namespace vantor::boards {

void PortLinkCounter::Failed(const char* why) {
    m_failures.fetch_add(1);
    if (m_lost.load()) return;
    m_failuresAtLoss = m_failures.load();
    m_losses.fetch_add(1);
    m_lost.store(true);
    platform::TraceAt(platform::TraceLevel::Warning,
                      "port bus %s: lost (%s); the card's readings stop until it answers again\n",
                      m_name.c_str(), why);
}

void PortLinkCounter::Recovered() {
    m_lost.store(false);
    platform::TraceAt(platform::TraceLevel::Notice,
                      "port bus %s: answers again after %llu failed transfers\n", m_name.c_str(),
                      static_cast<unsigned long long>(m_failures.load()) - m_failuresAtLoss + 1);
}

PortLinkState PortLinkCounter::State() const {
    return {m_lost.load(), m_failures.load(), m_losses.load()};
}

}  // namespace vantor::boards

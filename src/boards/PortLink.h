#pragma once
// How the transfers of one port backend fare: failed transfers are counted,
// and the link counts as lost from a failure until a transfer goes through
// again. Each change is traced once. The backend's transfer thread updates
// it; any thread may read it.
#include <atomic>
#include <cstdint>
#include <string>

namespace vantor::boards {

struct PortLinkState {
    bool lost = false;
    uint64_t failures = 0;  // failed transfers
    uint64_t losses = 0;    // times the link went from working to lost
};

class PortLinkCounter {
public:
    // name: how trace lines call the backend ("unix:/run/bus", ...).
    explicit PortLinkCounter(std::string name) : m_name(std::move(name)) {}

    // A transfer failed; why is traced when this failure starts a loss.
    void Failed(const char* why);
    // A transfer went through.
    void Succeeded() {
        if (m_lost.load(std::memory_order_relaxed)) Recovered();
    }
    PortLinkState State() const;

private:
    void Recovered();

    std::string m_name;
    std::atomic<bool> m_lost{false};
    std::atomic<uint64_t> m_failures{0};
    std::atomic<uint64_t> m_losses{0};
    uint64_t m_failuresAtLoss = 0;  // transfer thread only
};

}  // namespace vantor::boards

#include "Control.h"

#include <algorithm>

namespace vantor::mqtt {

Control::Control(std::string prefix, std::string station, std::vector<int> allowedLines)
    : m_prefix(std::move(prefix)),
      m_station(std::move(station)),
      m_allowed(std::move(allowedLines)) {}

std::string Control::Offer(const std::string& topic, const std::string& payload) {
    ControlRequest r;
    std::string error;
    // The topic is cut in the log line: it came from anyone allowed to publish.
    const std::string shown = JsonString(topic.substr(0, 200));
    if (!ParseControl(m_prefix, m_station, topic, payload, r, error)) {
        return "refused " + shown + ": " + error;
    }
    if (r.kind == ControlKind::Output &&
        std::find(m_allowed.begin(), m_allowed.end(), r.index) == m_allowed.end()) {
        return "refused " + shown + ": output line " + std::to_string(r.index) +
               " is not in the bridge's dout list";
    }
    std::lock_guard lock(m_mutex);
    if (m_pending.size() >= kMaxPending) return "refused " + shown + ": too many requests at once";
    m_pending.push_back(r);
    return "";
}

std::vector<std::string> Control::Apply(protocol::BlockClient& block) {
    std::vector<ControlRequest> todo;
    {
        std::lock_guard lock(m_mutex);
        todo.swap(m_pending);
    }
    std::vector<std::string> lines;
    for (const ControlRequest& r : todo) {
        const bool output = r.kind == ControlKind::Output;
        const bool ok = output ? block.WriteOutputRequest(r.index, r.value)
                               : block.WriteCounterHold(r.index, r.value);
        std::string what = output ? "digitalOutRequest[" + std::to_string(r.index) + "]"
                                  : "counterHold[" + std::to_string(r.index) + "]";
        lines.push_back(ok ? what + " = " + std::to_string(r.value)
                           : "cannot write " + what + ": " + block.Error());
    }
    return lines;
}

}  // namespace vantor::mqtt

#pragma once
// Output requests and counter holds that arrive from the broker, handed from
// the publisher's thread to the bridge's loop, which writes them into the
// block exactly as vantorctl set-output and hold do.
#include <mutex>
#include <string>
#include <vector>

#include "Payload.h"
#include "protocol/BlockClient.h"

namespace vantor::mqtt {

class Control {
public:
    // allowedLines: the output lines the bridge announced to the server.
    Control(std::string prefix, std::string station, std::vector<int> allowedLines);

    // Publisher thread: checks a message and keeps it for Apply; a refused
    // one is returned as a log line ("" when accepted).
    std::string Offer(const std::string& topic, const std::string& payload);
    // Bridge loop: writes the kept requests; one log line per request.
    std::vector<std::string> Apply(protocol::BlockClient& block);

private:
    static constexpr size_t kMaxPending = 64;

    const std::string m_prefix;
    const std::string m_station;
    const std::vector<int> m_allowed;
    std::mutex m_mutex;
    std::vector<ControlRequest> m_pending;
};

}  // namespace vantor::mqtt

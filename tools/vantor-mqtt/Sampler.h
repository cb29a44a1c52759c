#pragma once
// Turns successive copies of the shared data block into messages: the new
// samples of each analog ring since the last copy, and the digital inputs,
// frequencies and counters when they changed.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Config.h"
#include "protocol/BlockLayout.h"

namespace vantor::mqtt {

struct OutMessage {
    std::string topic;
    std::string payload;
    int qos = 0;
    bool retained = false;
};

class Sampler {
public:
    // config has passed FinishConfig.
    explicit Sampler(const BridgeConfig& config);

    // Appends the messages for what is new in block; t is the read time
    // (Unix seconds).
    void Collect(const protocol::SharedBlock& block, double t, std::vector<OutMessage>& out);
    // The positions in the rings are no longer known (the server restarted):
    // the next copy starts afresh and every channel's sequence skips a number,
    // so subscribers see that samples may be missing.
    void Resync();

    const std::vector<int>& AnalogIds() const { return m_analog; }
    uint64_t SamplesTaken() const { return m_samples; }

private:
    struct Channel {
        int id = 0;
        std::string topic;  // built once: every read would otherwise build it again
        int lastNext = -1;  // -1: not read yet
        uint64_t seq = 0;   // number of the next sample
    };
    void CollectRing(Channel& ch, const protocol::AnalogRing& ring, double t,
                     std::vector<OutMessage>& out);

    BridgeConfig m_config;
    std::vector<int> m_analog;
    std::vector<Channel> m_channels;
    std::vector<int> m_freq;
    std::vector<int> m_counter;
    std::vector<int> m_din;
    std::optional<std::string> m_lastDin;
    std::vector<std::optional<float>> m_lastFreq;
    std::vector<std::optional<float>> m_lastCounter;
    uint64_t m_samples = 0;
    std::vector<float> m_values;
};

// Ids of a channel list that FinishConfig accepted.
std::vector<int> ListIds(const std::string& list, int minId, int maxId);

}  // namespace vantor::mqtt

#include "Sampler.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "Payload.h"
#include "protocol/PeerRequest.h"

namespace vantor::mqtt {
namespace {

bool SameFloat(const std::optional<float>& a, float b) {
    // Bitwise, so a NaN that stays NaN is no change.
    return a && std::bit_cast<uint32_t>(*a) == std::bit_cast<uint32_t>(b);
}

}  // namespace

std::vector<int> ListIds(const std::string& list, int minId, int maxId) {
    protocol::ChannelList parsed;
    std::string error;
    std::vector<int> ids;
    if (!protocol::ParseChannelList(list, minId, maxId, minId == 0, parsed, error)) return ids;
    for (auto [id, samples] : parsed) ids.push_back(id);
    return ids;
}

Sampler::Sampler(const BridgeConfig& config)
    : m_config(config),
      m_analog(ListIds(config.channels, 0, protocol::kAnalogChannels - 1)),
      m_freq(ListIds(config.freq, 200, 207)),
      m_counter(ListIds(config.counter, 300, 303)),
      m_din(ListIds(config.din, 0, protocol::kDigitalLines - 1)),
      m_lastFreq(m_freq.size()),
      m_lastCounter(m_counter.size()),
      m_values(protocol::kRingSlots) {
    for (int id : m_analog) {
        m_channels.push_back(
            {id, Topic(m_config.prefix, m_config.station, "analog/" + std::to_string(id)), -1, 0});
    }
}

void Sampler::Resync() {
    for (Channel& ch : m_channels) {
        if (ch.lastNext >= 0) ++ch.seq;
        ch.lastNext = -1;
    }
}

void Sampler::CollectRing(Channel& ch, const protocol::AnalogRing& ring, double t,
                          std::vector<OutMessage>& out) {
    // Indices come from shared memory: reduce them before use.
    const int next = static_cast<int>(static_cast<uint32_t>(ring.next) % protocol::kRingSlots);
    const int fill = protocol::RingFill(ring);
    if (ch.lastNext < 0) {
        ch.lastNext = next;  // start with what comes from now on, not with the backlog
        return;
    }
    int fresh = (next - ch.lastNext + protocol::kRingSlots) % protocol::kRingSlots;
    if (fresh > fill) {
        // The ring went back (the block was cleared by a new server): what
        // it holds now is new, what came before it is lost.
        fresh = fill;
        ++ch.seq;
    }
    ch.lastNext = next;
    if (fresh == 0) return;
    for (int i = 0; i < fresh; ++i) {
        m_values[static_cast<size_t>(i)] =
            ring.samples[(next - fresh + i + protocol::kRingSlots) % protocol::kRingSlots];
    }
    OutMessage m;
    m.topic = ch.topic;
    m.payload = m_config.format == PayloadFormat::Json
                    ? AnalogJson(ch.seq, t, m_values.data(), fresh)
                    : AnalogBinary(ch.seq, t, m_values.data(), fresh);
    m.qos = m_config.qos;
    out.push_back(std::move(m));
    ch.seq += static_cast<uint64_t>(fresh);
    m_samples += static_cast<uint64_t>(fresh);
}

void Sampler::Collect(const protocol::SharedBlock& block, double t, std::vector<OutMessage>& out) {
    for (Channel& ch : m_channels) CollectRing(ch, block.analogRing[ch.id], t, out);

    if (!m_din.empty()) {
        std::string levels = "{";
        for (size_t i = 0; i < m_din.size(); ++i) {
            if (i > 0) levels += ',';
            levels += '"';
            levels += std::to_string(m_din[i]);
            levels += block.digitalIn[m_din[i]] != 0 ? "\":1" : "\":0";
        }
        levels += "}";
        if (m_lastDin != levels) {
            m_lastDin = levels;
            out.push_back({Topic(m_config.prefix, m_config.station, "din"), levels, 1, true});
        }
    }
    for (size_t i = 0; i < m_freq.size(); ++i) {
        const float v = block.frequencySlot[m_freq[i] - 200].value;
        if (SameFloat(m_lastFreq[i], v)) continue;
        m_lastFreq[i] = v;
        out.push_back(
            {Topic(m_config.prefix, m_config.station, "frequency/" + std::to_string(m_freq[i])),
             ValueJson(v, t), 1, true});
    }
    for (size_t i = 0; i < m_counter.size(); ++i) {
        const float v = block.counterValue[m_counter[i] - 300];
        if (SameFloat(m_lastCounter[i], v)) continue;
        m_lastCounter[i] = v;
        out.push_back(
            {Topic(m_config.prefix, m_config.station, "counter/" + std::to_string(m_counter[i])),
             ValueJson(v, t), 1, true});
    }
}

}  // namespace vantor::mqtt

#include "engine/EngineStatus.h"

#include <algorithm>
#include <cstring>

namespace vantor::engine {

std::string ChannelListText(const int32_t* ids, int32_t count, int max) {
    std::string text;
    const int n = std::clamp<int32_t>(count, 0, max);
    for (int i = 0; i < n; ++i) {
        text += std::to_string(ids[i]);
        text += '.';
    }
    return text;
}

PeerRow PeerRowOf(const PeerEntry& entry) {
    const AcqRequest& r = entry.request;
    PeerRow row;
    row.name.assign(entry.name, ::strnlen(entry.name, sizeof entry.name));
    row.host.assign(entry.host, ::strnlen(entry.host, sizeof entry.host));
    row.port = entry.port;
    row.lastSeen = entry.lastSeen;
    row.peerCount = entry.peerCount;
    row.digitalIn = ChannelListText(r.digitalInIds, r.digitalInCount, kMaxDigitalIds);
    row.digitalOut = ChannelListText(r.digitalOutIds, r.digitalOutCount, kMaxDigitalIds);
    row.analog = ChannelListText(r.analogIds, r.analogCount, kMaxAnalogIds);
    row.frequency = ChannelListText(r.frequencyIds, r.frequencyCount, kMaxFrequencyIds);
    return row;
}

}  // namespace vantor::engine

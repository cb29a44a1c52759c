#include <strings.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "protocol/NegPacket.h"
#include "protocol/PeerRequest.h"

namespace vantor::protocol {
namespace {

std::string Trimmed(const std::string& s) {
    size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

bool ParseInt(const std::string& text, int& value) {
    std::string t = Trimmed(text);
    if (t.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(t.c_str(), &end, 10);
    if (*end != '\0' || v < -1000000 || v > 1000000) return false;
    value = static_cast<int>(v);
    return true;
}

// Fills ids (and samples) of one list of the request.
bool AddList(const std::string& text, const char* what, int minId, int maxId, int limit,
             int32_t* ids, int32_t& count, std::string& error, int32_t* samples = nullptr) {
    ChannelList list;
    if (!ParseChannelList(text, minId, maxId, samples != nullptr, list, error)) {
        error = std::string(what) + ": " + error;
        return false;
    }
    if (static_cast<int>(list.size()) > limit) {
        error = std::string(what) + ": at most " + std::to_string(limit) + " channels";
        return false;
    }
    for (auto [id, n] : list) {
        ids[count] = id;
        if (samples != nullptr) samples[count] = n;
        ++count;
    }
    return true;
}

}  // namespace

bool ParseChannelList(const std::string& text, int minId, int maxId, bool samplesAllowed,
                      ChannelList& out, std::string& error) {
    out.clear();
    if (Trimmed(text).empty()) return true;
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        size_t colon = item.find(':');
        int id = 0;
        int samples = 0;
        if (!ParseInt(item.substr(0, colon), id) || id < minId || id > maxId) {
            error = "'" + item + "' is not a channel " + std::to_string(minId) + ".." +
                    std::to_string(maxId);
            return false;
        }
        if (colon != std::string::npos) {
            if (!samplesAllowed) {
                error = "'" + item + "': samples per read only for analog channels";
                return false;
            }
            if (!ParseInt(item.substr(colon + 1), samples) || samples < 1 ||
                samples > kSampleBufferSize) {
                error = "'" + item + "': samples per read must be 1..1000";
                return false;
            }
        }
        for (auto& [seen, n] : out) {
            if (seen == id) {
                error = "channel " + std::to_string(id) + " is listed twice";
                return false;
            }
        }
        out.emplace_back(id, samples);
    }
    if (!text.empty() && text.back() == ',') {
        error = "a list must not end with ','";
        return false;
    }
    return true;
}

std::string TrimmedPeerName(const std::string& name) {
    return Trimmed(name);
}

bool BuildConnectRequest(const PeerDescription& options, AcqRequest& out, std::string& error) {
    out = EmptyRequest();
    std::string name = Trimmed(options.name);
    if (name.empty() || name.find(',') != std::string::npos || name.size() >= kPeerNameBytes) {
        error = "the peer name must be 1..127 bytes without ','";
        return false;
    }
    if (options.host.empty() || options.host.find(',') != std::string::npos ||
        options.host.size() >= kPeerHostBytes) {
        error = "the host must be 1..63 bytes without ','";
        return false;
    }
    if (!AddList(options.analog, "analog", 0, 15, kMaxAnalogIds, out.analogIds, out.analogCount,
                 error, out.analogSamples) ||
        !AddList(options.freq, "freq", 200, 207, kMaxFrequencyIds, out.frequencyIds,
                 out.frequencyCount, error) ||
        !AddList(options.counter, "counter", 300, 303, kMaxCounterIds, out.counterIds,
                 out.counterCount, error) ||
        !AddList(options.din, "din", 0, 15, kMaxDigitalIds, out.digitalInIds, out.digitalInCount,
                 error) ||
        !AddList(options.dout, "dout", 0, 15, kMaxDigitalIds, out.digitalOutIds,
                 out.digitalOutCount, error)) {
        return false;
    }
    if (options.program.find(',') != std::string::npos) {
        error = "the program field must not hold ','";
        return false;
    }
    std::snprintf(out.text, sizeof out.text, "CONNECT,%s,%s,%s,%d,%d", name.c_str(),
                  options.program.c_str(), options.host.c_str(), options.peerCount,
                  options.peerExtra);
    return true;
}

AcqRequest BuildDisconnectRequest(const std::string& name) {
    AcqRequest r = EmptyRequest();
    std::snprintf(r.text, sizeof r.text, "DISCONNECT,%s", name.c_str());
    return r;
}

bool ParsePortText(const char* text, std::string& name, int& port) {
    std::string t(text, ::strnlen(text, kTextBytes));
    std::vector<std::string> fields;
    std::stringstream s(t);
    std::string f;
    while (std::getline(s, f, ',')) fields.push_back(f);
    if (fields.size() < 3 || ::strcasecmp(Trimmed(fields[0]).c_str(), "PORT") != 0) return false;
    name = fields[1];
    return ParseInt(fields[2], port);
}

}  // namespace vantor::protocol

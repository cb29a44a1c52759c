#include "Config.h"

#include <ini.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "protocol/AcqRequest.h"

namespace vantor::mqtt {
namespace {

// A channel's ring holds 1,023 samples, a little over 100 ms at the rate
// the simulated board fills it; a read must come before the ring wraps,
// since a wrap in between would lose samples without a sign.
constexpr int kMaxIntervalMs = 50;
constexpr int kMaxQueue = 1000000;
constexpr size_t kMaxLevelBytes = 64;

bool ParseInt(const std::string& text, int low, int high, int& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

bool ParseBool(const std::string& text, bool& out) {
    for (const char* yes : {"1", "true", "yes", "on"}) {
        if (::strcasecmp(text.c_str(), yes) == 0) return out = true, true;
    }
    for (const char* no : {"0", "false", "no", "off"}) {
        if (::strcasecmp(text.c_str(), no) == 0) return out = false, true;
    }
    return false;
}

bool IntValue(const std::string& key, const std::string& value, int low, int high, int& out,
              std::string& error) {
    if (ParseInt(value, low, high, out)) return true;
    error = key + " must be a number " + std::to_string(low) + ".." + std::to_string(high) +
            " (got '" + value + "')";
    return false;
}

struct IniState {
    BridgeConfig* config;
    std::string error;
};

int OnIniValue(void* user, const char* section, const char* key, const char* value) {
    auto* state = static_cast<IniState*>(user);
    return SetConfigValue(*state->config, section, key, value, state->error) ? 1 : 0;
}

}  // namespace

bool IsTopicLevel(const std::string& text) {
    if (text.empty() || text.size() > kMaxLevelBytes) return false;
    return std::all_of(text.begin(), text.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c != '/' && c != '+' && c != '#' && c >= 0x20 && c != 0x7F;
    });
}

bool SetConfigValue(BridgeConfig& c, const std::string& section, const std::string& key,
                    const std::string& value, std::string& error) {
    const bool broker = ::strcasecmp(section.c_str(), "broker") == 0;
    const bool bridge = ::strcasecmp(section.c_str(), "bridge") == 0;
    auto is = [&](const char* name) { return ::strcasecmp(key.c_str(), name) == 0; };
    if (broker) {
        if (is("host")) return c.host = value, true;
        if (is("port")) return IntValue(key, value, 1, 65535, c.port, error);
        if (is("client_id")) return c.clientId = value, true;
        if (is("username")) return c.username = value, true;
        if (is("password_file")) return c.passwordFile = value, true;
        if (is("password")) {
            error = "a password is read only from a file: use password_file";
            return false;
        }
        if (is("cafile")) return c.caFile = value, true;
        if (is("certfile")) return c.certFile = value, true;
        if (is("keyfile")) return c.keyFile = value, true;
        if (is("qos")) return IntValue(key, value, 0, 2, c.qos, error);
        if (is("keepalive")) return IntValue(key, value, 5, 3600, c.keepaliveS, error);
    } else if (bridge) {
        if (is("station")) return c.station = value, true;
        if (is("prefix")) return c.prefix = value, true;
        if (is("channels")) return c.channels = value, true;
        if (is("freq")) return c.freq = value, true;
        if (is("counter")) return c.counter = value, true;
        if (is("din")) return c.din = value, true;
        if (is("dout")) return c.dout = value, true;
        if (is("interval_ms")) return IntValue(key, value, 1, kMaxIntervalMs, c.intervalMs, error);
        if (is("queue_limit")) return IntValue(key, value, 1, kMaxQueue, c.queueLimit, error);
        if (is("format")) {
            if (value == "json") return c.format = PayloadFormat::Json, true;
            if (value == "binary") return c.format = PayloadFormat::Binary, true;
            error = "format must be json or binary (got '" + value + "')";
            return false;
        }
        if (is("control")) {
            if (ParseBool(value, c.control)) return true;
            error = "control must be on or off (got '" + value + "')";
            return false;
        }
    } else {
        error = "unknown section [" + section + "] (broker, bridge)";
        return false;
    }
    error = "unknown key '" + key + "' in [" + section + "]";
    return false;
}

bool LoadConfigFile(const std::string& path, BridgeConfig& config, std::string& error) {
    IniState state{&config, {}};
    const int rc = ::ini_parse(path.c_str(), OnIniValue, &state);
    if (rc == 0) return true;
    if (rc == -1) {
        error = path + ": cannot be read";
    } else if (rc > 0) {
        error = path + ":" + std::to_string(rc) + ": " +
                (state.error.empty() ? std::string("not a key = value line") : state.error);
    } else {
        error = path + ": cannot be parsed";
    }
    return false;
}

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read the password file " + path;
        return false;
    }
    std::getline(in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
}

protocol::PeerDescription PeerDescriptionOf(const BridgeConfig& c) {
    protocol::PeerDescription desc;
    desc.name = "mqtt-" + c.station;
    desc.program = "vantor-mqtt";
    desc.analog = c.channels;
    desc.freq = c.freq;
    desc.counter = c.counter;
    desc.din = c.din;
    desc.dout = c.control ? c.dout : "";
    return desc;
}

bool FinishConfig(BridgeConfig& c, std::string& error) {
    if (c.station.empty()) {
        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) == 0) c.station = host;
    }
    if (!IsTopicLevel(c.station)) {
        error = "the station '" + c.station +
                "' must be 1..64 bytes without '/', '+', '#' or control characters";
        return false;
    }
    if (c.prefix.empty() || c.prefix.front() == '/' || c.prefix.back() == '/' ||
        c.prefix.find_first_of("+#") != std::string::npos ||
        c.prefix.find("//") != std::string::npos) {
        error =
            "the prefix '" + c.prefix + "' must be topic levels without '+', '#' or empty levels";
        return false;
    }
    if (c.clientId.empty()) c.clientId = "vantor-mqtt-" + c.station;
    if (c.control && c.dout.empty()) {
        for (int line = 0; line < protocol::kMaxDigitalIds; ++line) {
            if (line > 0) c.dout += ',';
            c.dout += std::to_string(line);
        }
    }
    if ((!c.certFile.empty() || !c.keyFile.empty()) &&
        (c.certFile.empty() || c.keyFile.empty() || c.caFile.empty())) {
        error = "a client certificate needs certfile, keyfile and cafile together";
        return false;
    }
    if (!c.passwordFile.empty() && c.username.empty()) {
        error = "a password file needs a username";
        return false;
    }
    protocol::AcqRequest request{};
    return protocol::BuildConnectRequest(PeerDescriptionOf(c), request, error);
}

}  // namespace vantor::mqtt

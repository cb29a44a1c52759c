#pragma once
// The bridge's settings: defaults, then the configuration file (INI), then
// the command line, each overriding the one before.
#include <string>

#include "protocol/PeerRequest.h"

namespace vantor::mqtt {

enum class PayloadFormat { Json, Binary };

struct BridgeConfig {
    // Broker.
    std::string host = "localhost";
    int port = 1883;
    std::string clientId;  // "" = "vantor-mqtt-<station>"
    std::string username;
    std::string passwordFile;  // the password is read from this file, never given directly
    std::string caFile;        // TLS is on when a CA file is given
    std::string certFile;
    std::string keyFile;
    int qos = 0;  // of the data messages; status and control use 1
    int keepaliveS = 30;
    // What is published.
    std::string station;  // "" = this machine's host name
    std::string prefix = "vantor";
    std::string channels;  // analog "0,3:20"
    std::string freq;
    std::string counter;
    std::string din;
    std::string dout;  // lines that control may set; "" = all 16 when control is on
    int intervalMs = 10;
    PayloadFormat format = PayloadFormat::Json;
    bool control = false;
    int queueLimit = 20000;  // messages kept while the broker is away
};

// Reads an INI file into config (only the keys it names change). false with
// "file:line: reason" on an unreadable file, an unknown key or a bad value.
bool LoadConfigFile(const std::string& path, BridgeConfig& config, std::string& error);

// Sets one key of section ("broker" or "bridge") from its text.
bool SetConfigValue(BridgeConfig& config, const std::string& section, const std::string& key,
                    const std::string& value, std::string& error);

// Fills the derived defaults (station, client id, dout lines) and checks the
// whole; false with a reason.
bool FinishConfig(BridgeConfig& config, std::string& error);

// The first line of a password file, without its line end.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

// The peer this bridge announces to the server.
protocol::PeerDescription PeerDescriptionOf(const BridgeConfig& config);

// A topic level that a subscriber can name: non-empty, no '/', '+', '#' or
// control characters.
bool IsTopicLevel(const std::string& text);

}  // namespace vantor::mqtt

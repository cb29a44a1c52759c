#include "Cli.h"

#include <signal.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <mutex>

#include "Bridge.h"
#include "platform/Paths.h"
#include "platform/StopSignals.h"

namespace vantor::mqtt {
namespace {

// The options, bound to config so that only those given replace what the
// file said.
void AddOptions(CLI::App& app, BridgeConfig& c, std::string& configPath, std::string& format) {
    app.add_option("-c,--config", configPath,
                   "Configuration file (INI, sections [broker] and [bridge]); default "
                   "<config dir>/vantor-mqtt.conf when it exists.");
    app.add_option("--host", c.host, "Broker host.")->capture_default_str()->group("Broker");
    app.add_option("--port", c.port, "Broker port.")
        ->check(CLI::Range(1, 65535))
        ->capture_default_str()
        ->group("Broker");
    app.add_option("--client-id", c.clientId, "MQTT client id (default vantor-mqtt-STATION).")
        ->group("Broker");
    app.add_option("--username", c.username, "User name at the broker.")->group("Broker");
    app.add_option("--password-file", c.passwordFile,
                   "File whose first line is the password (never given on the command line).")
        ->group("Broker");
    app.add_option("--cafile", c.caFile, "CA certificate: connect with TLS.")->group("Broker");
    app.add_option("--certfile", c.certFile, "Client certificate (with --keyfile).")
        ->group("Broker");
    app.add_option("--keyfile", c.keyFile, "Key of the client certificate.")->group("Broker");
    app.add_option("--qos", c.qos, "QoS of the data messages (status and control use 1).")
        ->check(CLI::Range(0, 2))
        ->capture_default_str()
        ->group("Broker");
    app.add_option("--keepalive", c.keepaliveS, "Keep-alive seconds.")
        ->check(CLI::Range(5, 3600))
        ->capture_default_str()
        ->group("Broker");

    app.add_option("--station", c.station, "Station name in the topics (default: host name).")
        ->group("Published");
    app.add_option("--prefix", c.prefix, "First topic level(s).")
        ->capture_default_str()
        ->group("Published");
    app.add_option("--channels", c.channels,
                   "Analog channels 0..15, e.g. 0,3:20 (channel 3 with 20 samples per read).")
        ->group("Published");
    app.add_option("--freq", c.freq, "Frequency ids 200..207 to publish on change.")
        ->group("Published");
    app.add_option("--counter", c.counter, "Counter ids 300..303 to publish on change.")
        ->group("Published");
    app.add_option("--din", c.din, "Digital input lines 0..15 to publish on change.")
        ->group("Published");
    app.add_option("--dout", c.dout,
                   "Output lines that control may set (default all 16 when --control).")
        ->group("Control");
    app.add_option("--interval", c.intervalMs,
                   "Milliseconds between reads of the block, 1..50 (a channel's ring holds a "
                   "little over 100 ms of samples).")
        ->check(CLI::Range(1, 50))
        ->capture_default_str()
        ->group("Published");
    app.add_option("--format", format, "Analog payload: json or binary (see docs/mqtt.md).")
        ->check(CLI::IsMember({"json", "binary"}))
        ->group("Published");
    app.add_flag("--control,!--no-control", c.control,
                 "Take dout/<line>/set and counter/<id>/hold/set from the broker (off by "
                 "default).")
        ->group("Control");
    app.add_option("--queue-limit", c.queueLimit,
                   "Data messages kept while the broker is away; older ones are dropped.")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str()
        ->group("Broker");
}

std::vector<char*> Argv(std::vector<std::string>& store) {
    std::vector<char*> argv;
    argv.reserve(store.size() + 1);
    for (std::string& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

}  // namespace

int ParseCommandLine(const std::vector<std::string>& args, BridgeConfig& config, std::ostream& out,
                     std::ostream& err) {
    std::vector<std::string> store{"vantor-mqtt"};
    store.insert(store.end(), args.begin(), args.end());
    const char* about =
        "Publishes the Vantor server's samples to an MQTT broker as PREFIX/STATION/analog/<ch>,\n"
        "din, frequency/<id> and counter/<id>, with a retained PREFIX/STATION/status whose last\n"
        "will is \"offline\". With --control it also takes output and counter-hold requests\n"
        "back. It is a peer of the server and waits for the server and the broker by itself.";
    const char* footer =
        "Settings: built-in defaults, then the configuration file, then these options.\n"
        "Example: vantor-mqtt --channels 0,3 --station bench1\n"
        "         mosquitto_sub -t 'vantor/bench1/#' -v\n"
        "Exit codes: 0 stopped by SIGTERM/SIGINT, 1 the broker client cannot be set up,\n"
        "2 bad options or configuration. Topics, payloads and an ACL example: docs/mqtt.md.";

    // First pass: only to find the file; its values come before the options.
    BridgeConfig scratch;
    std::string configPath;
    std::string format;
    {
        CLI::App app{about, "vantor-mqtt"};
        app.footer(footer);
        AddOptions(app, scratch, configPath, format);
        app.set_version_flag("--version", std::string("vantor-mqtt ") + VANTOR_MQTT_VERSION);
        auto argv = Argv(store);
        try {
            app.parse(static_cast<int>(store.size()), argv.data());
        } catch (const CLI::ParseError& e) {
            return app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
        }
    }
    std::string error;
    if (configPath.empty()) {
        const std::string fallback = platform::ConfigDir() + "/vantor-mqtt.conf";
        std::error_code ec;
        if (std::filesystem::exists(fallback, ec)) configPath = fallback;
    }
    if (!configPath.empty() && !LoadConfigFile(configPath, config, error)) {
        err << "vantor-mqtt: " << error << "\n";
        return kExitUsage;
    }
    CLI::App app{about, "vantor-mqtt"};
    app.footer(footer);
    format.clear();
    AddOptions(app, config, configPath, format);
    auto argv = Argv(store);
    try {
        app.parse(static_cast<int>(store.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
    }
    if (!format.empty())
        config.format = format == "binary" ? PayloadFormat::Binary : PayloadFormat::Json;
    if (!FinishConfig(config, error)) {
        err << "vantor-mqtt: " << error << "\n";
        return kExitUsage;
    }
    return -1;
}

int Main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    BridgeConfig config;
    if (int rc = ParseCommandLine(args, config, std::cout, std::cerr); rc >= 0) return rc;
    std::string password;
    std::string error;
    if (!config.passwordFile.empty() && !ReadPasswordFile(config.passwordFile, password, error)) {
        std::cerr << "vantor-mqtt: " << error << "\n";
        return kExitUsage;
    }
    platform::StopSignals signals(true);
    signal(SIGPIPE, SIG_IGN);

    std::mutex logMutex;
    auto log = [&logMutex](const std::string& line) {
        std::lock_guard lock(logMutex);
        std::cerr << "vantor-mqtt: " << line << std::endl;
    };
    log("station " + config.station + ": broker " + config.host + ":" +
        std::to_string(config.port) + ", control " + (config.control ? "on" : "off"));
    return RunBridge(config, password, platform::StopFlag(), log);
}

}  // namespace vantor::mqtt

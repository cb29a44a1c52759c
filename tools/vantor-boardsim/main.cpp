// vantor-boardsim: serves an emulated ISA bus with the cards named on the
// command line at a Unix socket, for a server started with
// VANTOR_PORT_DEVICE=unix:PATH. Prints every write to a digital-output port as
// "out 0xPORT 0xVALUE" and takes new settings on standard input while it runs
// (see emulation/SimControl.h; each applied line is answered "ok", a bad one
// "error: ..."). Ends on SIGINT, SIGTERM or "quit".
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "emulation/BusServer.h"
#include "emulation/IsaBus.h"
#include "emulation/SimControl.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int /*signal*/) {
    g_stop = 1;
}

constexpr int kStepMs = 100;

// Splits what standard input delivered into lines and applies them; false on
// "quit".
bool HandleInput(vantor::emulation::IsaBus& bus, std::string& pending, bool& open) {
    char chunk[1024];
    ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) {
        open = false;  // keep serving; no more settings
        return true;
    }
    pending.append(chunk, static_cast<size_t>(n));
    size_t nl = 0;
    while ((nl = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        if (line.rfind("quit", 0) == 0) return false;
        std::string why;
        if (vantor::emulation::ApplySetting(bus, line, why))
            std::printf("ok %s\n", line.c_str());
        else
            std::printf("error: %s\n", why.c_str());
        std::fflush(stdout);
    }
    return true;
}

int Run(int argc, char** argv) {
    CLI::App app{"Serves an emulated ISA bus with data-acquisition cards at a Unix socket.",
                 "vantor-boardsim"};
    app.set_version_flag("--version", std::string("vantor-boardsim ") + VANTOR_VERSION);
    std::string endpoint;
    std::vector<std::string> cards;
    std::vector<std::string> analog;
    std::vector<std::string> freq;
    std::vector<std::string> counters;
    std::vector<std::string> raw;
    std::string din;
    app.add_option("--endpoint", endpoint, "socket path to serve the bus at")->required();
    app.add_option("--card", cards, "a card TYPE@BASE, e.g. 0x24@0x2E0 (repeatable)")->required();
    app.add_option("--analog", analog, "CH=VOLTS on every card's converter (repeatable)");
    app.add_option("--raw", raw, "CH=CODE, the converter word as delivered (repeatable)");
    app.add_option("--din", din, "digital input lines 0-15 as HEX");
    app.add_option("--freq", freq, "INPUT=HZ on frequency input 1-4 (repeatable)");
    app.add_option("--counter", counters, "N=VALUE for counter 0-3 (repeatable)");
    app.footer(
        "While running, lines on standard input change the values: 'analog CH=VOLTS', "
        "'raw CH=CODE', 'din HEX', 'freq INPUT=HZ', 'period INPUT=COUNT', "
        "'counter N=VALUE', 'busy POLLS', 'quit'. Each is answered 'ok LINE' or "
        "'error: WHY'.\nEvery write to a digital-output port prints 'out 0xPORT 0xVALUE'.");
    CLI11_PARSE(app, argc, argv);

    vantor::emulation::IsaBus bus;
    for (const std::string& option : cards) {
        uint8_t type = 0;
        int base = 0;
        if (!vantor::emulation::ParseCardOption(option, type, base)) {
            std::fprintf(stderr, "vantor-boardsim: bad --card '%s' (TYPE@BASE)\n", option.c_str());
            return 2;
        }
        bus.AddCard(type, base);
    }
    std::vector<std::string> settings;
    settings.reserve(analog.size() + raw.size() + 1 + freq.size() + counters.size());
    for (const auto& a : analog) settings.push_back("analog " + a);
    for (const auto& r : raw) settings.push_back("raw " + r);
    if (!din.empty()) settings.push_back("din " + din);
    for (const auto& f : freq) settings.push_back("freq " + f);
    for (const auto& c : counters) settings.push_back("counter " + c);
    for (const std::string& s : settings) {
        std::string why;
        if (!vantor::emulation::ApplySetting(bus, s, why)) {
            std::fprintf(stderr, "vantor-boardsim: %s: %s\n", s.c_str(), why.c_str());
            return 2;
        }
    }

    bus.SetWriteObserver([](const vantor::emulation::BusWrite& w) {
        if (!w.output) return;
        std::printf("out 0x%X 0x%02X\n", static_cast<unsigned>(w.port),
                    static_cast<unsigned>(w.value));
        std::fflush(stdout);
    });

    vantor::emulation::BusServer server(bus);
    std::string why;
    if (!server.Listen(endpoint, why)) {
        std::fprintf(stderr, "vantor-boardsim: %s\n", why.c_str());
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("ready %s\n", endpoint.c_str());
    std::fflush(stdout);

    std::string pending;
    bool stdinOpen = true;
    while (g_stop == 0) {
        if (server.Step(kStepMs, stdinOpen ? STDIN_FILENO : -1) &&
            !HandleInput(bus, pending, stdinOpen))
            break;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantor-boardsim: %s\n", e.what());
        return 1;
    }
}

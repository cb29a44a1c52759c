#include "Cli.h"

#include "Peer.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>

namespace vantor::ctl {

int RunCli(const std::vector<std::string>& args, Console& console) {
    CLI::App app{
        "Reads and writes the shared data block of the Vantor server, under its mutex, as any "
        "client program does.",
        "vantorctl"};
    app.set_version_flag("--version", std::string("vantorctl ") + VANTORCTL_VERSION);
    // At most one; none is reported below, so that an unknown word is named as such.
    app.require_subcommand(0, 1);

    DumpOptions dump;
    CLI::App* dumpCmd = app.add_subcommand("dump", "Print everything in the block once.");
    dumpCmd->add_flag("--json", dump.json, "Print one JSON object (see docs/shared-block.md).");
    dumpCmd->add_option("--samples", dump.samples, "Newest samples shown per ring (0..1023).")
        ->capture_default_str();

    WatchOptions watch;
    CLI::App* watchCmd = app.add_subcommand("watch", "Print the block again and again.");
    watchCmd->add_flag("--json", watch.dump.json, "Print JSON objects instead of text.");
    watchCmd
        ->add_option("--samples", watch.dump.samples, "Newest samples shown per ring (0..1023).")
        ->capture_default_str();
    watchCmd->add_option("--interval", watch.intervalMs, "Milliseconds between refreshes.")
        ->capture_default_str();
    watchCmd->add_option("--count", watch.count, "Refreshes to show; 0 runs until interrupted.")
        ->capture_default_str();

    int line = 0;
    int level = 0;
    CLI::App* outCmd = app.add_subcommand(
        "set-output", "Request a level on a digital output line (digitalOutRequest).");
    outCmd->add_option("LINE", line, "Output line, 0..15.")->required();
    outCmd->add_option("LEVEL", level, "Level, 0 or 1.")->required();

    int counter = 0;
    int hold = 0;
    CLI::App* holdCmd =
        app.add_subcommand("hold", "Hold (1) or release (0) a counter (counterHold).");
    holdCmd->add_option("COUNTER", counter, "Counter 0..3 (counter id 300 + COUNTER).")->required();
    holdCmd->add_option("VALUE", hold, "1 holds the counter at 0, 0 lets it run.")->required();

    int mode = 0;
    CLI::App* modeCmd = app.add_subcommand(
        "mode", "Switch the running server to asynchronous (1) or synchronous (2) mode.");
    modeCmd
        ->add_option("MODE", mode,
                     "1 asynchronous: the server samples; 2 synchronous: "
                     "every client drives its own board.")
        ->required();

    int quitWait = 10;
    CLI::App* quitCmd = app.add_subcommand(
        "quit", "Ask the running server to exit, as its tray menu's exit does, and wait for it.");
    quitCmd
        ->add_option("--wait", quitWait, "Seconds to wait for the server to end (0: do not wait).")
        ->check(CLI::Range(0, 3600))
        ->capture_default_str();

    PeerOptions peer;
    CLI::App* peerCmd = app.add_subcommand(
        "peer",
        "Act as a peer of the server: CONNECT with channel lists, print the PORT messages, "
        "DISCONNECT on SIGINT/SIGTERM (see docs/peer-protocol.md).");
    peerCmd->add_option("--name", peer.desc.name, "Peer name (1..127 bytes, no ',').")->required();
    peerCmd->add_option("--analog", peer.desc.analog,
                        "Analog channels 0..15, e.g. 3:20,5 (channel 3 with 20 samples per read, "
                        "5 with the server's default).");
    peerCmd->add_option("--freq", peer.desc.freq, "Frequency ids 200..207, e.g. 200,203.");
    peerCmd->add_option("--counter", peer.desc.counter, "Counter ids 300..303.");
    peerCmd->add_option("--din", peer.desc.din, "Digital input lines 0..15.");
    peerCmd->add_option("--dout", peer.desc.dout, "Digital output lines 0..15.");
    peerCmd->add_option("--host", peer.desc.host, "Host field of the CONNECT.")
        ->capture_default_str();
    peerCmd
        ->add_option("--every", peer.every,
                     "Seconds between CONNECTs (the server drops a "
                     "peer silent for 21 s).")
        ->capture_default_str();
    peerCmd->add_option("--duration", peer.duration, "Seconds to run; 0 until SIGINT/SIGTERM.")
        ->capture_default_str();
    peerCmd->add_option("--peer-count", peer.desc.peerCount, "CONNECT field 4.")
        ->capture_default_str();
    peerCmd->add_option("--peer-extra", peer.desc.peerExtra, "CONNECT field 5.")
        ->capture_default_str();
    peerCmd->add_flag("--show", peer.show,
                      "Print the newest values of the channels from the block every second.");

    std::vector<std::string> argvStore;
    argvStore.reserve(args.size() + 1);
    argvStore.emplace_back("vantorctl");
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(argvStore.size() + 1);
    for (std::string& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    try {
        app.parse(static_cast<int>(argvStore.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        // Help and version end with 0; every usage error with 2.
        return app.exit(e, console.out, console.err) == 0 ? kExitOk : kExitUsage;
    }

    if (dumpCmd->parsed()) return RunDump(dump, console);
    if (watchCmd->parsed()) return RunWatch(watch, console);
    if (outCmd->parsed()) return RunSetOutput(line, level, console);
    if (holdCmd->parsed()) return RunHold(counter, hold, console);
    if (peerCmd->parsed()) return RunPeer(peer, console);
    if (modeCmd->parsed()) return RunMode(mode, console);
    if (quitCmd->parsed()) return RunQuit(quitWait, console);
    console.err
        << "vantorctl: a subcommand is required (dump, watch, set-output, hold, mode, quit, peer)\n"
           "Run with --help for more information.\n";
    return kExitUsage;
}

int Main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    Console console{std::cout, std::cerr, ::isatty(STDOUT_FILENO) == 1, true};
    return RunCli(args, console);
}

}  // namespace vantor::ctl

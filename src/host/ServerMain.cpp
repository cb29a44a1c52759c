#include "host/ServerMain.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/DisplayConnection.h"
#include "host/ServerHost.h"
#include "platform/Paths.h"
#include "platform/Trace.h"

#ifndef VANTOR_VERSION
#define VANTOR_VERSION "0.0.0"
#endif

namespace vantor::host {
namespace {

// SIGINT and SIGTERM are blocked in every thread and read from a signalfd by
// the main thread's loop, so the shutdown runs as ordinary code there.
sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// The window is a program of its own, so this one never loads the toolkit.
// It replaces this process (argv and all), or says why it cannot.
void ShowWindowInstead(char** argv) {
    std::string reason;
    if (!DisplayAnswers(&reason)) {
        platform::TraceAt(platform::TraceLevel::Notice, "%s: running headless\n", reason.c_str());
        return;
    }
    const std::string window = platform::ExecutableDir() + "/vantor-window";
    ::execv(window.c_str(), argv);
    const int error = errno;
    platform::TraceAt(platform::TraceLevel::Warning,
                      "the operator window %s cannot run (%s): running headless\n", window.c_str(),
                      std::strerror(error));  // NOLINT(concurrency-mt-unsafe): no thread yet
}

}  // namespace

int ParseServerOptions(int argc, char** argv, ServerOptions& options) {
    CLI::App app{
        "Vantor data-acquisition server.\n"
        "Samples the acquisition card (or the simulated board when none answers) and\n"
        "publishes the values in the shared data block \"NXSharedMemory\".\n"
        "Configuration: AcqCfg.ini, sysOSTRA.ini and AcqSet.cfg in $VANTOR_CONFIG_DIR,\n"
        "else $XDG_CONFIG_HOME/vantor, else ~/.config/vantor.\n"
        "Stop it with SIGTERM or Ctrl+C.",
        "vantor"};
    app.footer(
        "Exit codes:\n"
        "  0    stopped by SIGTERM, Ctrl+C, `vantorctl quit` or the tray menu\n"
        "  1    another server is running (nothing is printed; when it runs with\n"
        "       another runtime directory, a line says it serves the block)\n"
        "  2    the system library gave no configuration directory\n"
        "  3    the single-instance lock cannot be taken (the message names the\n"
        "       runtime directory: not ours, not a directory, not writable)\n"
        "  4    the shared data block or its mutex is not safe to use (another\n"
        "       user's object, or one open to others; the message names it)\n"
        "  5    the stop signals cannot be watched\n"
        "  255  the system library libkorbel.so is missing or of another version");
    app.add_flag("--headless", options.headless,
                 "Run without the operator window and tray icon (trace on stderr). Without it\n"
                 "the window is shown when a display is available ($DISPLAY or\n"
                 "$WAYLAND_DISPLAY), else vantor runs headless.");
    app.set_version_flag("--version", std::string("vantor ") + VANTOR_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return -1;
}

int ServerMain(const ServerOptions& options, char** argv) {
    // A peer that closes its end (a client, a display) must give a write an
    // error, not end the server; kept across the exec of the window program.
    ::signal(SIGPIPE, SIG_IGN);
    if (!options.headless) ShowWindowInstead(argv);  // returns only when the window cannot run

    sigset_t stops = StopSignals();
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);  // inherited by every thread started below

    const int stopFd = ::signalfd(-1, &stops, SFD_CLOEXEC);
    if (stopFd < 0) {
        platform::TraceTextAt(platform::TraceLevel::Error, "cannot watch for stop signals\n");
        return kExitNoStopSignals;
    }
    ServerHost host;
    int rc = host.Start();
    if (rc != kRunning) return rc;
    platform::TraceText("running; SIGTERM or Ctrl+C stops\n");

    const int signal = host.RunUntil(stopFd);
    ::close(stopFd);
    if (signal != 0) {
        platform::Trace("signal %d: stopping\n", signal);
    } else {
        platform::TraceText("exit requested: stopping\n");
    }
    host.Shutdown();
    platform::TraceText("stopped\n");
    return 0;
}

}  // namespace vantor::host

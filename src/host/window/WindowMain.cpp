#include "host/window/WindowMain.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/ServerHost.h"
#include "host/window/CVantorDlg.h"
#include "platform/Paths.h"
#include "platform/Result.h"
#include "platform/Trace.h"

#ifndef VANTOR_VERSION
#define VANTOR_VERSION "0.0.0"
#endif

namespace vantor::host {
namespace {

// Qt ends the process when its display turns out to be no X server (a
// forwarded port with nothing behind it, say). Asked first, through the
// library Qt itself talks X with, so the server runs headless instead.
void RunHeadlessUnlessXAnswers(char** argv) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");  // NOLINT(concurrency-mt-unsafe)
    if (wayland != nullptr && *wayland != '\0') return;    // Qt will use Wayland
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    const bool answers = xcb_connection_has_error(x) == 0;
    xcb_disconnect(x);
    if (answers) return;
    platform::TraceTextAt(platform::TraceLevel::Notice,
                          "the X display does not answer: running headless\n");
    std::string headless = "--headless";
    std::vector<char*> args{argv[0], headless.data(), nullptr};
    const std::string server = platform::ExecutableDir() + "/vantor";
    ::execv(server.c_str(), args.data());
    platform::TraceAt(platform::TraceLevel::Error, "cannot run %s: %s\n", server.c_str(),
                      platform::ErrnoText(errno));
    std::_Exit(kExitNoEnvironment);
}

}  // namespace

int ParseWindowOptions(int argc, char** argv) {
    CLI::App cli{
        "Vantor data-acquisition server with its operator window and tray icon.\n"
        "Started by `vantor` when a display is available; takes the same exit codes\n"
        "(see vantor --help). The tray menu's exit, `vantorctl quit`, SIGTERM or\n"
        "Ctrl+C end it.",
        "vantor-window"};
    cli.set_version_flag("--version", std::string("vantor ") + VANTOR_VERSION);
    cli.allow_extras();  // Qt's own options (-platform, -style, ...)
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e);
    }
    return -1;
}

int WindowMain(int argc, char** argv) {
    // A display that accepts and at once closes the connection must make the
    // X probe below fail, not end the process with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    RunHeadlessUnlessXAnswers(argv);

    // Blocked before any thread exists, Qt's own included, so only the
    // signalfd below sees them.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    const int stopFd = ::signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
    if (stopFd < 0) {
        platform::TraceTextAt(platform::TraceLevel::Error, "cannot watch for stop signals\n");
        return kExitNoStopSignals;
    }

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);  // closing only hides
    ServerHost host;
    const int rc = host.Start();
    if (rc != kRunning) {
        if (rc == kExitNoEnvironment) {
            QMessageBox::critical(nullptr, QStringLiteral("Vantor"),
                                  QString::fromUtf8(kGetKorbelFailedText));
        }
        ::close(stopFd);
        return rc;
    }
    platform::TraceText("running with the operator window\n");

    CVantorDlg window(host);
    QSocketNotifier stopNotifier(stopFd, QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &window, [&] {
        signalfd_siginfo info{};
        if (::read(stopFd, &info, sizeof info) == sizeof info) {
            platform::Trace("signal %u: stopping\n", info.ssi_signo);
        }
        window.ExitSequence();
    });
    window.Start();
    const int result = QApplication::exec();
    ::close(stopFd);
    platform::TraceText("stopped\n");
    return result;
}

}  // namespace vantor::host

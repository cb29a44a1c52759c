#pragma once
// The server with its operator window: Qt's event loop drives the window,
// the timers, the copy-data endpoint and the stop signals.
namespace vantor::host {

// Checks the command line (Qt's own options pass). Returns -1 to go on, or
// the exit code to end with after --help, --version or a usage error.
int ParseWindowOptions(int argc, char** argv);

int WindowMain(int argc, char** argv);

}  // namespace vantor::host

#pragma once
// The server with its operator window: Qt's event loop drives the window,
// the timers, the copy-data endpoint and the stop signals.
namespace vantor::host {

int WindowMain(int argc, char** argv);

}  // namespace vantor::host

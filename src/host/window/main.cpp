// vantor-window: the server with its operator window, started by `vantor`
// on a desktop.
#include "crash/CrashReport.h"
#include "host/window/WindowMain.h"

int main(int argc, char** argv) {
    CCrashReport crashReport;
    return vantor::host::WindowMain(argc, argv);
}

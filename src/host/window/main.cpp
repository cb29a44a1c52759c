// vantor-window: the server with its operator window, started by `vantor`
// on a desktop.
#include "crash/CrashReport.h"
#include "host/window/WindowMain.h"

int main(int argc, char** argv) {
    // The command line first, so --help and --version print nothing but their text.
    if (int rc = vantor::host::ParseWindowOptions(argc, argv); rc >= 0) return rc;
    // Then, before anything else runs: a fault anywhere after this leaves a report.
    CCrashReport crashReport;
    return vantor::host::WindowMain(argc, argv);
}

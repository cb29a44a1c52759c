// vantor: the data-acquisition server.
#include "crash/CrashReport.h"
#include "host/ServerMain.h"

int main(int argc, char** argv) {
    // The command line first, so --help and --version print nothing but their text.
    vantor::host::ServerOptions options;
    if (int rc = vantor::host::ParseServerOptions(argc, argv, options); rc >= 0) return rc;
    // Then, before anything else runs: a fault anywhere after this leaves a report.
    CCrashReport crashReport;
    return vantor::host::ServerMain(options, argv);
}

// vantor: the data-acquisition server.
#include "crash/CrashReport.h"
#include "host/ServerMain.h"

int main(int argc, char** argv) {
    // First of all: a fault anywhere after this leaves a report.
    CCrashReport crashReport;
    return vantor::host::ServerMain(argc, argv);
}

// vantor: the data-acquisition server.
#include "host/ServerMain.h"

int main(int argc, char** argv) {
    return vantor::host::ServerMain(argc, argv);
}

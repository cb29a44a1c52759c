// vantorctl: inspect and steer the shared data block from a shell.
#include "Cli.h"

int main(int argc, char** argv) {
    return vantor::ctl::Main(argc, argv);
}

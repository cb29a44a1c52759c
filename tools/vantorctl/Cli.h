#pragma once
// The command line of vantorctl (CLI11), kept apart from main() so the tests
// can run it with their own streams.
#include <string>
#include <vector>

#include "Commands.h"

namespace vantor::ctl {

// args without the program name. Usage errors give kExitUsage; --help and
// --version give kExitOk after printing to console.out.
int RunCli(const std::vector<std::string>& args, Console& console);

// The program's entry: standard streams, tty detection, stop signals for watch.
int Main(int argc, char** argv);

}  // namespace vantor::ctl

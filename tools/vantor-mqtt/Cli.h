#pragma once
// The command line of vantor-mqtt (CLI11) over the configuration file.
#include <ostream>
#include <string>
#include <vector>

#include "Config.h"

namespace vantor::mqtt {

enum ExitCode : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// Fills config from the defaults, the file (--config, else
// <config dir>/vantor-mqtt.conf when it exists) and args (without the
// program name). Returns -1 to go on, or the exit code to end with (after
// --help, --version or a usage error, reported on out or err).
int ParseCommandLine(const std::vector<std::string>& args, BridgeConfig& config, std::ostream& out,
                     std::ostream& err);

int Main(int argc, char** argv);

}  // namespace vantor::mqtt

#pragma once
// Where the client finds its configuration and the server program, and how
// it starts the server when none runs.
#include <string>

namespace vantor::client {

// $VANTOR_SERVER_DIR if set; else the bin/ of this library's installation
// (or of the build tree) when a vantor program is there; else the directory
// of the running program.
std::string ServerDir();

// What StartServer did.
enum class Launch {
    kStarted,  // the program runs, in a session of its own
    kMissing,  // no such program, or not one that can run
    kFailed,   // it could not be started for another reason
};

// Starts program detached from this process (its own session, standard
// streams on /dev/null, no child left to reap), with --headless where no
// display exists. Safe in a process with threads.
Launch StartServer(const std::string& program);

}  // namespace vantor::client

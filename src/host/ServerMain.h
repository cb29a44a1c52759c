#pragma once
// Command line and life of the server process.
namespace vantor::host {

struct ServerOptions {
    bool headless = false;
};

// Reads the command line into options. Returns -1 to go on, or the exit code
// to end with after --help, --version (their text on standard output) or a
// usage error (on standard error).
int ParseServerOptions(int argc, char** argv, ServerOptions& options);

// Runs the server; argv is handed on when the operator window takes over.
int ServerMain(const ServerOptions& options, char** argv);

}  // namespace vantor::host

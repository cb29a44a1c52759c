#pragma once
// Command line and life of the server process.
namespace vantor::host {

int ServerMain(int argc, char** argv);

}  // namespace vantor::host

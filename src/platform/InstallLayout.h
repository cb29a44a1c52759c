#pragma once
// Where the parts of an installation are, found from the program's own
// directory, so that a tree installed under any prefix (or unpacked from the
// packages anywhere) works without a search path. The build tree has bin/ and
// lib/ side by side; an installed tree has bin/, the multiarch lib directory
// with our private libraries in its vantor/ folder, and share/vantor/.
#include <string>

namespace vantor::platform {

// The folder of our private shared libraries (libkorbel.so, the skin library)
// for a program in programDir: the installed private folder when it exists,
// else lib/ beside bin/ (the build tree), else programDir itself.
std::string PrivateLibraryDir(const std::string& programDir);

// The programs' folder for a shared library in libraryDir (the client library
// starts the server from there): the installed bin/ when it holds `vantor`,
// else bin/ beside lib/ (the build tree); "" when neither does.
std::string ProgramDirForLibrary(const std::string& libraryDir);

// A data file of ours for a program in programDir: beside the program when it
// is there (the build tree), else in the installed share/vantor/.
std::string DataFilePath(const std::string& programDir, const std::string& name);

}  // namespace vantor::platform

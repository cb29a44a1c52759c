#pragma once
// Well-known directories of this installation and of the user.
#include <string>

namespace vantor::platform {

// $VANTOR_CONFIG_DIR, else $XDG_CONFIG_HOME/vantor, else ~/.config/vantor.
// Not created here: the writer of a file creates it.
std::string ConfigDir();

// $VANTOR_CRASH_DIR, else $XDG_STATE_HOME/vantor, else ~/.local/state/vantor.
std::string CrashDir();

// Directory of the file (program or shared library) that holds addr, without a
// trailing slash; "" when it cannot be found.
std::string ModuleDirOf(const void* addr);

// Full path of the file that holds addr; "" when unknown.
std::string ModulePathOf(const void* addr);

// Directory of the running executable (from /proc/self/exe).
std::string ExecutableDir();

// Creates dir and its parents; true when it exists afterwards.
bool MakeDirs(const std::string& dir);

}  // namespace vantor::platform

#include "host/window/Skin.h"

#include <unistd.h>

#include "platform/InstallLayout.h"
#include "platform/Paths.h"
#include "platform/Trace.h"

namespace vantor::host {

namespace {

// Our own copy of the library in the private folder when there is one, else
// the name for the normal library search.
std::string InstalledOrNamed(const std::string& name) {
    const std::string path = platform::PrivateLibraryDir(platform::ExecutableDir()) + "/" + name;
    return ::access(path.c_str(), R_OK) == 0 ? path : name;
}

}  // namespace

bool Skin::Load(const std::string& library) {
    auto lib = platform::DynamicLibrary::Open(library.find('/') != std::string::npos
                                                  ? library
                                                  : InstalledOrNamed(library));
    if (!lib) return false;  // no skin: the platform's look, no message
    m_library = std::move(lib.value());
    using LoadSkinFn = int (*)(const char*);
    auto loadSkin = m_library.Function<LoadSkinFn>("LoadSkin");
    if (loadSkin == nullptr) return false;
    const std::string path = platform::DataFilePath(platform::ExecutableDir(), kSkinFile);
    if (path.size() > 255) return false;  // the skin library takes at most 255 bytes
    const int result = loadSkin(path.c_str());
    platform::Trace("skin %s: %s\n", path.c_str(), result != 0 ? "applied" : "not applied");
    return true;
}

}  // namespace vantor::host

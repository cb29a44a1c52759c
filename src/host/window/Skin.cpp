#include "host/window/Skin.h"

#include "platform/Paths.h"
#include "platform/Trace.h"

namespace vantor::host {

std::string SkinFilePath(const std::string& executableDir) {
    std::string path = executableDir;
    if (!path.empty() && path.back() != '/') path += '/';
    path += Skin::kSkinFile;
    // The skin library takes a path of at most 255 bytes.
    return path.size() <= 255 ? path : std::string();
}

bool Skin::Load(const std::string& library) {
    auto lib = platform::DynamicLibrary::Open(library);
    if (!lib) return false;  // no skin: the platform's look, no message
    m_library = std::move(lib.value());
    using LoadSkinFn = int (*)(const char*);
    auto loadSkin = m_library.Function<LoadSkinFn>("LoadSkin");
    if (loadSkin == nullptr) return false;
    const std::string path = SkinFilePath(platform::ExecutableDir());
    if (path.empty()) return false;
    const int result = loadSkin(path.c_str());
    platform::Trace("skin %s: %s\n", path.c_str(), result != 0 ? "applied" : "not applied");
    return true;
}

}  // namespace vantor::host

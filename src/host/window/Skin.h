#pragma once
// The optional skin library, loaded by name (our own copy in the private
// library folder first): LoadSkin(NXmagic.skn beside the program, or in the
// installed data folder) when the library exports it. Without the library
// the window keeps the platform's look; the result of LoadSkin is ignored.
#include <string>

#include "platform/DynamicLibrary.h"

namespace vantor::host {

class Skin {
public:
    // "libSkinMagicNX.so" through the normal library search, or a path.
    static constexpr const char* kLibraryName = "libSkinMagicNX.so";
    static constexpr const char* kSkinFile = "NXmagic.skn";

    // True when the library was loaded and LoadSkin was called.
    bool Load(const std::string& library = kLibraryName);
    // Frees the library (the window's destruction does).
    void Unload() { m_library.Close(); }
    bool Loaded() const { return m_library.IsLoaded(); }

private:
    platform::DynamicLibrary m_library;
};

}  // namespace vantor::host

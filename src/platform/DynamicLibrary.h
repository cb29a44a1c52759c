#pragma once
// A loaded shared library (dlopen/dlsym), closed by the destructor. Move-only.
#include <string>

#include "platform/Result.h"

namespace vantor::platform {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads a library by path, or by name through the normal search order
    // when the name has no slash. Symbols stay local to the library.
    static Result<DynamicLibrary> Open(const std::string& pathOrName);

    bool IsLoaded() const { return m_handle != nullptr; }
    // Address of an exported symbol, or nullptr when absent or not loaded.
    void* Symbol(const char* name) const;
    template <typename Fn>
    Fn Function(const char* name) const {
        return reinterpret_cast<Fn>(Symbol(name));
    }
    const std::string& Path() const { return m_path; }
    void Close();

private:
    void* m_handle = nullptr;
    std::string m_path;
};

}  // namespace vantor::platform

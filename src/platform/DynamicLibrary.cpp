#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace vantor::platform {

DynamicLibrary::~DynamicLibrary() {
    Close();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_path(std::move(other.m_path)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_path = std::move(other.m_path);
    }
    return *this;
}

Result<DynamicLibrary> DynamicLibrary::Open(const std::string& pathOrName) {
    ::dlerror();
    void* handle = ::dlopen(pathOrName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        return Error{-1, why != nullptr ? why : ("cannot load " + pathOrName)};
    }
    DynamicLibrary lib;
    lib.m_handle = handle;
    lib.m_path = pathOrName;
    return lib;
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (m_handle == nullptr || name == nullptr) return nullptr;
    return ::dlsym(m_handle, name);
}

void DynamicLibrary::Close() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

}  // namespace vantor::platform

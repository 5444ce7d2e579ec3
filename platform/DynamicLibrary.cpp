#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace platform {

DynamicLibrary::~DynamicLibrary() { Unload(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Unload();
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

DynamicLibrary DynamicLibrary::Load(const std::filesystem::path& path, std::string& error) {
    if (path.empty() || !path.has_filename() || path.filename() == ".so") {
        error = "no library name is configured";
        return DynamicLibrary();
    }
    // A bare name would make dlopen search the system's folders; the library must be the one named.
    std::filesystem::path absolute = std::filesystem::absolute(path);
    void* handle = ::dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        error = why ? why : "cannot be loaded";
        return DynamicLibrary();
    }
    return DynamicLibrary(handle);
}

void* DynamicLibrary::Symbol(const char* name) const {
    return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

void DynamicLibrary::Unload() {
    if (m_handle) ::dlclose(std::exchange(m_handle, nullptr));
}

}  // namespace platform

#pragma once

#include <filesystem>
#include <string>

namespace platform {

// A shared object loaded for as long as this object lives (dlopen / dlclose).
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library; on failure the object is empty and `error` says why.
    static DynamicLibrary Load(const std::filesystem::path& path, std::string& error);

    explicit operator bool() const { return m_handle != nullptr; }
    // The entry's address, or null when the library does not export it.
    void* Symbol(const char* name) const;

private:
    explicit DynamicLibrary(void* handle) : m_handle(handle) {}
    void Unload();

    void* m_handle = nullptr;
};

}  // namespace platform

#include "platform/ProgramDirectory.h"

#include <mutex>
#include <system_error>

namespace platform {
namespace {

std::mutex& DirMutex() {
    static std::mutex m;
    return m;
}

std::filesystem::path& OverrideDir() {
    static std::filesystem::path dir;
    return dir;
}

std::filesystem::path ExecutableDirectory() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec);
    return exe.parent_path();
}

}  // namespace

std::filesystem::path ProgramDirectory() {
    std::lock_guard lock(DirMutex());
    if (!OverrideDir().empty()) return OverrideDir();
    static const std::filesystem::path exeDir = ExecutableDirectory();
    return exeDir;
}

void SetProgramDirectory(const std::filesystem::path& dir) {
    std::lock_guard lock(DirMutex());
    OverrideDir() = dir.empty() ? dir : std::filesystem::absolute(dir);
}

}  // namespace platform

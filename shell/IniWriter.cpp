#include "shell/IniWriter.h"

#include <mutex>
#include <string>
#include <system_error>
#include <utility>

#include "shell/ProfileFile.h"

namespace {

// Each write reads, changes and replaces the whole file; two threads doing that at once on the same file
// would each drop the other's change.
std::mutex& WriteMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

CIniWriter::CIniWriter(std::filesystem::path file) : file_(std::move(file)) {}

bool CIniWriter::WriteInt(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool CIniWriter::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::lock_guard lock(WriteMutex());
    auto profile = ProfileFile::Load(file_);
    if (!profile) {
        // Only a file that is not there may start afresh; one that exists but cannot be read must not be
        // overwritten with a single setting.
        std::error_code ec;
        if (std::filesystem::symlink_status(file_, ec).type() != std::filesystem::file_type::not_found) {
            return false;
        }
        profile.emplace();
    }
    return profile->Set(section, key, value) && profile->Save(file_);
}

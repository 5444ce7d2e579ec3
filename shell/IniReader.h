#pragma once

// Reads one setting from an ini file the way GetPrivateProfileString / GetPrivateProfileInt do. The file is
// opened and parsed again at every call, so a change made by another thread or program shows at once.

#include <filesystem>
#include <string>
#include <string_view>

class CIniReader {
public:
    explicit CIniReader(std::filesystem::path file);

    // The default when the file, section or key is missing or the value is empty; else the leading number.
    int ReadInt(std::string_view section, std::string_view key, int nDefault) const;
    // The default only when the file, section or key is missing; an empty value comes back empty.
    // Both the value and the default are cut to 254 characters.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view szDefault = {}) const;

private:
    std::filesystem::path file_;
};

#pragma once

// Writes one setting into an ini file the way WritePrivateProfileString does: the file is read, changed in
// that one line and replaced as a whole, keeping its encoding, line ends, comments and every other line.

#include <filesystem>
#include <string_view>

class CIniWriter {
public:
    explicit CIniWriter(std::filesystem::path file);

    // False, with the file untouched, when a name is empty, a name or the value holds a line break, the
    // value cannot be written in the file's encoding, or the file cannot be replaced.
    bool WriteInt(std::string_view section, std::string_view key, int value);
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);

private:
    std::filesystem::path file_;
};

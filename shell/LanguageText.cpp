#include "shell/LanguageText.h"

#include <filesystem>

#include "platform/ProgramDirectory.h"
#include "shell/IniReader.h"

namespace {

// The name comes from a file anybody can edit; it may only pick a file inside the Language folder.
bool IsPlainFileName(std::string_view name) {
    constexpr std::string_view kSeparators("/\\\0", 3);
    return name.find_first_of(kSeparators) == std::string_view::npos;
}

}  // namespace

std::string GetLanguageText(std::string_view section, std::string_view key, std::string_view szDefault) {
    const std::filesystem::path languageDir = platform::ProgramDirectory() / "Language";
    const std::string name =
        CIniReader(languageDir / "Language.ini").ReadString("LAN", "Language", "Language.ini");
    // An empty path names no file, so a rejected name gives the default like a missing language file does.
    const std::filesystem::path textFile =
        IsPlainFileName(name) ? languageDir / (name + ".ini") : std::filesystem::path();
    return CIniReader(textFile).ReadString(section, key, szDefault);
}

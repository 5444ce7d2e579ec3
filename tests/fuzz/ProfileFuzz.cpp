// Ini files of any bytes through the profile reader and writer: decoding, lookup, a value set and read
// back, and the file replaced on disk.

#include "FuzzSupport.h"
#include "shell/IniReader.h"
#include "shell/IniWriter.h"
#include "shell/ProfileFile.h"

namespace {

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// What a lookup gives for a value written as it stands: blanks around it go, one enclosing quote pair goes.
std::string ValueAsRead(std::string_view value) {
    value = Trim(value);
    if (value.size() >= 2 && value.front() == value.back() && (value.front() == '"' || value.front() == '\''))
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

// Names that an ini line can hold unambiguously; others (a key with '=', a section with ']', ...) are
// written as Windows writes them and read back as something else by design.
bool PlainName(std::string_view name) {
    return !name.empty() && Trim(name) == name && name.find_first_of("=[];\r\n") == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::SilenceTrace();
    fuzzsupport::FuzzInput in(data, size);
    const std::string section(in.Short(40));
    const std::string key(in.Short(40));
    const std::string value(in.Short());
    const std::string_view bytes = in.Rest();

    ProfileFile profile = ProfileFile::Decode(bytes);
    const auto before = profile.Find(section, key);
    // A file read faithfully and left unchanged is written back byte for byte.
    if (auto encoded = profile.Encode()) {
        FUZZ_CHECK(*encoded == bytes);
        FUZZ_CHECK(ProfileFile::Decode(*encoded).Find(section, key) == before);
    }

    const bool set = profile.Set(section, key, value);
    if (set && PlainName(section) && PlainName(key)) {
        FUZZ_CHECK(profile.Find(section, key) == ValueAsRead(value));
        if (auto encoded = profile.Encode()) {
            // The encoding may read differently once no character needs it (GBK text replaced by ASCII).
            FUZZ_CHECK(ProfileFile::Decode(*encoded).Find(section, key) == ValueAsRead(value));
        }
    }

    // The same through the file functions the program calls.
    const auto file = fuzzsupport::ScratchDir() / "profile.ini";
    fuzzsupport::WriteFile(file, bytes);
    const CIniReader reader(file);
    (void)reader.ReadInt(section, key, -1);
    const std::string read = reader.ReadString(section, key, "default");
    FUZZ_CHECK(read.size() <= 254 * 4);
    if (CIniWriter(file).WriteString(section, key, value) && PlainName(section) && PlainName(key)) {
        const std::string expected = ValueAsRead(value);
        const std::string back = reader.ReadString(section, key);
        FUZZ_CHECK(expected.compare(0, back.size(), back) == 0);
    } else if (!set) {
        FUZZ_CHECK(fuzzsupport::ReadFile(file) == bytes);
    }
    return 0;
}

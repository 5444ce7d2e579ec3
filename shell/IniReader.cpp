#include "shell/IniReader.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

#include "shell/ProfileFile.h"

namespace {

// The callers of the original API read into 255-character buffers, and some settings rely on the cut.
constexpr size_t kMaxValueCharacters = 254;

// Counts code points by their lead bytes, so a cut never lands inside a UTF-8 sequence.
std::string CutToProfileLength(std::string_view text) {
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        bool isContinuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
        if (!isContinuation && ++characters > kMaxValueCharacters) return std::string(text.substr(0, i));
    }
    return std::string(text);
}

// Like atoi, except that a number outside the int range is clamped to INT_MIN / INT_MAX instead of being
// undefined, so that a mistyped huge value in an ini file still gives the nearest meaningful setting.
int ParseLeadingInt(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    constexpr int64_t kLimit = int64_t{INT_MAX} + 1;
    int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        magnitude = std::min(magnitude * 10 + (c - '0'), kLimit);
    }
    int64_t value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

CIniReader::CIniReader(std::filesystem::path file) : file_(std::move(file)) {}

int CIniReader::ReadInt(std::string_view section, std::string_view key, int nDefault) const {
    std::string value = ReadString(section, key);
    return value.empty() ? nDefault : ParseLeadingInt(value);
}

std::string CIniReader::ReadString(std::string_view section, std::string_view key,
                                   std::string_view szDefault) const {
    auto profile = ProfileFile::Load(file_);
    auto value = profile ? profile->Find(section, key) : std::nullopt;
    return CutToProfileLength(value ? *value : szDefault);
}

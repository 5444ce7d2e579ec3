#include "JobPattern.h"

#include <charconv>

std::optional<PatternSpec> ParsePattern(std::string_view text) {
    if (text == "zero") return PatternSpec{JobPattern::Zero, 0};
    if (text == "ramp") return PatternSpec{JobPattern::Ramp, 0};
    if (text == "bands") return PatternSpec{JobPattern::Bands, 0};
    if (text.starts_with("const:")) {
        unsigned value = 0;
        auto digits = text.substr(6);
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (ec != std::errc() || end != digits.data() + digits.size() || value > 255) return std::nullopt;
        return PatternSpec{JobPattern::Constant, static_cast<uint8_t>(value)};
    }
    return std::nullopt;
}

uint8_t PatternByte(const PatternSpec& spec, uint64_t x, uint64_t line, uint32_t plane, uint64_t byteperline) {
    switch (spec.pattern) {
        case JobPattern::Zero: return 0;
        case JobPattern::Constant: return spec.constant;
        case JobPattern::Ramp: return static_cast<uint8_t>(x + line + 37u * plane);
        case JobPattern::Bands: {
            // Eight vertical bands, each inked by one of four planes, fading every 256 lines:
            // a proof image shows at once whether planes or rows were swapped or shifted.
            uint64_t band = byteperline >= 8 ? x * 8 / byteperline : x;
            if (band % 4 != plane % 4) return 0;
            return static_cast<uint8_t>(255 - (line % 256) / 2);
        }
    }
    return 0;
}

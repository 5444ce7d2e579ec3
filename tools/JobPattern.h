#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Raster content the job generator can write. Every pattern is a function of (byte in row, line mod 256,
// plane), so a block of 256 lines repeats and large jobs are written with a few big writes.
enum class JobPattern { Zero, Ramp, Bands, Constant };

struct PatternSpec {
    JobPattern pattern = JobPattern::Bands;
    uint8_t constant = 0;
};

std::optional<PatternSpec> ParsePattern(std::string_view text);

// The byte at position x of plane row p of raster line n, for a row of `byteperline` bytes.
uint8_t PatternByte(const PatternSpec& spec, uint64_t x, uint64_t line, uint32_t plane, uint64_t byteperline);

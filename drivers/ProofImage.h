#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "engine/RipHead.h"

// The picture of a printed session: what the operator would see on the media, drawn from the line sets
// the session stored. One pixel per byte of a plane row, coloured as Tessarin's own previews colour a job,
// thinned to at most kMaxSide pixels each way so that a proof of a long banner still opens anywhere.
class ProofImage {
public:
    static constexpr uint64_t kMaxSide = 2000;

    struct Geometry {
        uint64_t step = 1;  // every step-th column and line is drawn
        uint32_t width = 0;
        uint32_t height = 0;
    };

    // The smallest step that fits columns x lines into kMaxSide x kMaxSide.
    static Geometry Fit(uint64_t columns, uint64_t lines);

    // Draws dataFile, line sets laid out as head describes (color plane rows of byteperline bytes), into
    // pngFile. False, with the reason, when there is no complete line set or a file fails.
    static bool Draw(const std::filesystem::path& dataFile, const RipHead& head,
                     const std::filesystem::path& pngFile, std::string& error);
};

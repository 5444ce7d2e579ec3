#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Encodes an 8-bit RGB image as PNG without a compression library: the image data goes into "stored"
// deflate blocks. Proof images are small (at most 2000 x 2000), so their size does not matter, and the
// virtual printer needs no dependency that a printer maker's library would not have.
class PngEncoder {
public:
    // rgb: height rows of width pixels, 3 bytes each, top row first.
    static std::vector<uint8_t> EncodeRgb(uint32_t width, uint32_t height, std::span<const uint8_t> rgb);
};

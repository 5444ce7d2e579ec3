#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

// How a preview turns the ink amounts of the first four planes into a screen colour. Shared by the job
// previews and the virtual printer's proof images, so both show a job the same way.

struct Rgb {
    uint8_t red, green, blue;
    bool operator==(const Rgb&) const = default;
};

// Plane order of the RIP's output (RIPCOLOR): index of cyan, magenta, yellow and black among planes 0..3.
struct PlaneOrder {
    int cyan, magenta, yellow, black;
};

// 0: yellow, magenta, cyan, black; 1: black, cyan, magenta, yellow; 2: cyan, magenta, yellow, black.
// Any other value takes order 1, the default.
inline PlaneOrder PlaneOrderFor(int ripColor) {
    switch (ripColor) {
        case 0: return {2, 1, 0, 3};
        case 2: return {0, 1, 2, 3};
        default: return {1, 2, 3, 0};
    }
}

inline Rgb PreviewPixel(int c, int m, int y, int k) {
    auto channel = [k](int ink) { return static_cast<uint8_t>(255 - std::min(255, ink * (255 - k) / 255 + k)); };
    return {channel(c), channel(m), channel(y)};
}

inline Rgb PreviewPixel(const std::array<uint8_t, 4>& planes, const PlaneOrder& order) {
    return PreviewPixel(planes[order.cyan], planes[order.magenta], planes[order.yellow], planes[order.black]);
}

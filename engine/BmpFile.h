#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "engine/PreviewColor.h"

// An RGB picture in memory, stored as a 24-bit uncompressed Windows BMP: the format of the job previews,
// which the GUI draws and any image viewer opens. The bytes are little-endian whatever the host.
class CBmpFile {
public:
    // A side beyond this is taken as a corrupt size. At the bound the file still fits the format's 32-bit
    // size fields (3 GiB of pixels).
    static constexpr uint32_t kMaxSide = 32768;
    // BITMAPFILEHEADER (14 bytes) + BITMAPINFOHEADER (40 bytes).
    static constexpr size_t kHeaderSize = 54;

    // Both sides in 1..kMaxSide.
    static bool SizeFits(uint64_t width, uint64_t height);
    // Bytes of one pixel row in the file: three a pixel, padded to a multiple of four.
    static uint64_t RowStride(uint32_t width);

    // A black picture. Throws std::length_error when SizeFits refuses the size.
    CBmpFile(uint32_t width, uint32_t height);

    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    // Row 0 is the top of the picture.
    Rgb At(uint32_t x, uint32_t y) const { return m_pixels[Index(x, y)]; }
    void Set(uint32_t x, uint32_t y, Rgb pixel) { m_pixels[Index(x, y)] = pixel; }

    std::vector<uint8_t> Encode() const;
    // Accepts 24-bit BI_RGB pictures, bottom-up or top-down, with any info header of at least 40 bytes.
    static std::optional<CBmpFile> Decode(std::span<const uint8_t> bytes);

    // Replaces `path` in one step (temporary file + rename): a reader sees the old picture or the new
    // one, never part of one. False when the folder cannot take the file.
    bool Write(const std::filesystem::path& path) const;
    static std::optional<CBmpFile> Read(const std::filesystem::path& path);

    bool operator==(const CBmpFile&) const = default;

private:
    struct Layout;

    static std::optional<Layout> ParseHeader(std::span<const uint8_t, kHeaderSize> header);
    static CBmpFile FromRows(const Layout& layout, std::span<const uint8_t> rows);
    size_t Index(uint32_t x, uint32_t y) const { return size_t{y} * m_width + x; }

    uint32_t m_width;
    uint32_t m_height;
    std::vector<Rgb> m_pixels;
};

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// Why a header cannot be used; callers report the text to the operator.
enum class HeadError {
    None,
    CannotOpen,     // the job file cannot be opened or read
    TooShort,       // fewer than 48 bytes
    ZeroWidth,      // width 0: bits per pixel undefined
    ZeroLineBytes,  // byteperline or height 0: plane count undefined / no data per line
    ZeroPlanes,     // no complete plane of data
    LineTooLarge,   // one raster line beyond kMaxLineBytes
};

std::string_view HeadErrorText(HeadError error);

// The 48-byte raster header: twelve little-endian 32-bit words, whatever the host's byte order.
// It is also the argument of the printer library's StartPrint, so its layout is fixed.
struct RipHead {
    static constexpr size_t kSize = 48;
    // A bound on one raster line (all planes) that no real printer reaches; beyond it a header is
    // taken as hostile or corrupt rather than allocated for.
    static constexpr uint64_t kMaxLineBytes = 256ull << 20;

    uint32_t signature = 0;
    uint32_t xdpi = 0;
    uint32_t ydpi = 0;
    uint32_t byteperline = 0;
    uint32_t height = 0;
    uint32_t width = 0;
    uint32_t fpaperwidth = 0;
    uint32_t color = 0;
    uint32_t bit = 0;
    std::array<uint32_t, 3> reserved{};

    static RipHead FromBytes(std::span<const uint8_t, kSize> bytes);
    std::array<uint8_t, kSize> ToBytes() const;

    // Derived values of a job file of the given total length: fpaperwidth 0, the plane count from the
    // file length (the stored colour is ignored), bit from byteperline and width.
    HeadError DeriveForFile(uint64_t fileLength);
    // Derived values of a TCP stream: fpaperwidth 0, only the low 8 bits of the colour, bit as above.
    HeadError DeriveForStream();

    // Bytes of one raster line (every plane row), in 64-bit arithmetic.
    uint64_t LineBytes() const { return uint64_t{byteperline} * color; }
    // Bytes of raster data after the header.
    uint64_t DataBytes() const { return LineBytes() * height; }

    bool operator==(const RipHead&) const = default;

private:
    HeadError DeriveBit();
};

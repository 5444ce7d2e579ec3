#include "engine/RipHead.h"

namespace {

uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void StoreLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

std::string_view HeadErrorText(HeadError error) {
    switch (error) {
        case HeadError::None: return "header accepted";
        case HeadError::CannotOpen: return "the job file cannot be opened or read";
        case HeadError::TooShort: return "the job is shorter than its 48-byte header";
        case HeadError::ZeroWidth: return "the header's width is 0";
        case HeadError::ZeroLineBytes: return "the header's bytes per line or height is 0";
        case HeadError::ZeroPlanes: return "the job holds no complete colour plane";
        case HeadError::LineTooLarge: return "one raster line of the job exceeds 256 MiB";
    }
    return "unknown header error";
}

RipHead RipHead::FromBytes(std::span<const uint8_t, kSize> bytes) {
    const uint8_t* p = bytes.data();
    RipHead h;
    h.signature = LoadLE32(p + 0);
    h.xdpi = LoadLE32(p + 4);
    h.ydpi = LoadLE32(p + 8);
    h.byteperline = LoadLE32(p + 12);
    h.height = LoadLE32(p + 16);
    h.width = LoadLE32(p + 20);
    h.fpaperwidth = LoadLE32(p + 24);
    h.color = LoadLE32(p + 28);
    h.bit = LoadLE32(p + 32);
    for (size_t i = 0; i < h.reserved.size(); ++i) h.reserved[i] = LoadLE32(p + 36 + 4 * i);
    return h;
}

std::array<uint8_t, RipHead::kSize> RipHead::ToBytes() const {
    std::array<uint8_t, kSize> out{};
    uint8_t* p = out.data();
    StoreLE32(p + 0, signature);
    StoreLE32(p + 4, xdpi);
    StoreLE32(p + 8, ydpi);
    StoreLE32(p + 12, byteperline);
    StoreLE32(p + 16, height);
    StoreLE32(p + 20, width);
    StoreLE32(p + 24, fpaperwidth);
    StoreLE32(p + 28, color);
    StoreLE32(p + 32, bit);
    for (size_t i = 0; i < reserved.size(); ++i) StoreLE32(p + 36 + 4 * i, reserved[i]);
    return out;
}

HeadError RipHead::DeriveBit() {
    if (width == 0) return HeadError::ZeroWidth;
    bit = static_cast<uint32_t>(uint64_t{byteperline} * 8 / width);
    return HeadError::None;
}

HeadError RipHead::DeriveForFile(uint64_t fileLength) {
    fpaperwidth = 0;
    if (fileLength < kSize) return HeadError::TooShort;
    const uint64_t planeBytes = uint64_t{byteperline} * height;
    if (planeBytes == 0) return HeadError::ZeroLineBytes;
    const uint64_t planes = (fileLength - kSize) / planeBytes;
    if (planes == 0) return HeadError::ZeroPlanes;
    if (planes * byteperline > kMaxLineBytes) return HeadError::LineTooLarge;
    color = static_cast<uint32_t>(planes);
    return DeriveBit();
}

HeadError RipHead::DeriveForStream() {
    fpaperwidth = 0;
    color &= 0xFF;
    if (byteperline == 0) return HeadError::ZeroLineBytes;
    if (color == 0) return HeadError::ZeroPlanes;
    if (LineBytes() > kMaxLineBytes) return HeadError::LineTooLarge;
    return DeriveBit();
}

#include "PngEncoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace {

constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kMaxStoredBlock = 65535;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

// The CRC-32 of PNG chunks (ISO 3309, reflected, polynomial 0xEDB88320).
uint32_t Crc32(std::span<const uint8_t> bytes) {
    static constexpr std::array<uint32_t, 256> kTable = MakeCrcTable();
    uint32_t c = 0xFFFFFFFFu;
    for (uint8_t b : bytes) c = kTable[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// The checksum zlib appends to its stream, over the uncompressed bytes.
uint32_t Adler32(std::span<const uint8_t> bytes) {
    constexpr uint32_t kModulus = 65521;
    // 5552 is the longest run whose sums cannot overflow 32 bits before the modulo.
    constexpr size_t kRun = 5552;
    uint32_t a = 1, b = 0;
    for (size_t start = 0; start < bytes.size(); start += kRun) {
        size_t end = std::min(bytes.size(), start + kRun);
        for (size_t i = start; i < end; ++i) {
            a += bytes[i];
            b += a;
        }
        a %= kModulus;
        b %= kModulus;
    }
    return b << 16 | a;
}

void AppendBE32(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                           static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
}

void AppendLE16(std::vector<uint8_t>& out, uint16_t v) {
    out.insert(out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
}

void AppendChunk(std::vector<uint8_t>& out, std::string_view type, std::span<const uint8_t> data) {
    AppendBE32(out, static_cast<uint32_t>(data.size()));
    size_t crcStart = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    AppendBE32(out, Crc32(std::span(out).subspan(crcStart)));
}

// Every row behind filter type 0 (none), as the PNG image data before compression.
std::vector<uint8_t> FilteredRows(uint32_t width, uint32_t height, std::span<const uint8_t> rgb) {
    const size_t rowBytes = size_t{width} * 3;
    std::vector<uint8_t> raw;
    raw.reserve((rowBytes + 1) * height);
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        auto row = rgb.subspan(y * rowBytes, rowBytes);
        raw.insert(raw.end(), row.begin(), row.end());
    }
    return raw;
}

std::vector<uint8_t> ZlibStored(std::span<const uint8_t> raw) {
    std::vector<uint8_t> z;
    z.reserve(raw.size() + raw.size() / kMaxStoredBlock * 5 + 16);
    z.insert(z.end(), {0x78, 0x01});  // deflate, 32 KiB window, no dictionary, header checksum
    size_t offset = 0;
    do {
        size_t length = std::min(kMaxStoredBlock, raw.size() - offset);
        bool last = offset + length == raw.size();
        z.push_back(last ? 1 : 0);  // BFINAL, BTYPE 00
        AppendLE16(z, static_cast<uint16_t>(length));
        AppendLE16(z, static_cast<uint16_t>(~length));
        z.insert(z.end(), raw.begin() + static_cast<ptrdiff_t>(offset),
                 raw.begin() + static_cast<ptrdiff_t>(offset + length));
        offset += length;
    } while (offset < raw.size());
    AppendBE32(z, Adler32(raw));
    return z;
}

}  // namespace

std::vector<uint8_t> PngEncoder::EncodeRgb(uint32_t width, uint32_t height, std::span<const uint8_t> rgb) {
    std::vector<uint8_t> header;
    AppendBE32(header, width);
    AppendBE32(header, height);
    header.insert(header.end(),
                  {8, 2, 0, 0, 0});  // 8 bits, truecolour, deflate, adaptive filter, no interlace

    std::vector<uint8_t> png(kSignature.begin(), kSignature.end());
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", ZlibStored(FilteredRows(width, height, rgb)));
    AppendChunk(png, "IEND", {});
    return png;
}

#include "ProofImage.h"

#include <algorithm>
#include <array>
#include <vector>

#include "OutputFile.h"
#include "PngEncoder.h"
#include "engine/PreviewColor.h"
#include "platform/File.h"

namespace {

// The RIP's default plane order: black, cyan, magenta, yellow.
constexpr int kProofPlaneOrder = 1;
constexpr uint32_t kPreviewPlanes = 4;

uint64_t CeilDiv(uint64_t a, uint64_t b) {
    return (a + b - 1) / b;
}

// row: the first planes of one line set, each head.byteperline bytes. Planes missing from a job with
// fewer than four count as no ink.
void DrawRow(std::span<const uint8_t> row, uint32_t planes, uint64_t planeBytes,
             const ProofImage::Geometry& geometry, uint8_t* out) {
    const PlaneOrder order = PlaneOrderFor(kProofPlaneOrder);
    for (uint32_t x = 0; x < geometry.width; ++x) {
        std::array<uint8_t, kPreviewPlanes> ink{};
        const uint64_t column = x * geometry.step;
        for (uint32_t p = 0; p < planes; ++p) ink[p] = row[p * planeBytes + column];
        const Rgb pixel = PreviewPixel(ink, order);
        *out++ = pixel.red;
        *out++ = pixel.green;
        *out++ = pixel.blue;
    }
}

}  // namespace

ProofImage::Geometry ProofImage::Fit(uint64_t columns, uint64_t lines) {
    Geometry g;
    g.step = std::max({uint64_t{1}, CeilDiv(columns, kMaxSide), CeilDiv(lines, kMaxSide)});
    g.width = static_cast<uint32_t>(CeilDiv(columns, g.step));
    g.height = static_cast<uint32_t>(CeilDiv(lines, g.step));
    return g;
}

bool ProofImage::Draw(const std::filesystem::path& dataFile, const RipHead& head,
                      const std::filesystem::path& pngFile, std::string& error) {
    const uint64_t lineBytes = head.LineBytes();
    if (lineBytes == 0 || lineBytes > RipHead::kMaxLineBytes) {
        error = "the header describes no drawable line set";
        return false;
    }
    platform::File data = platform::File::OpenRead(dataFile);
    std::optional<uint64_t> size = data.Size();
    if (!size) {
        error = "cannot read " + dataFile.string();
        return false;
    }
    const uint64_t lines = *size / lineBytes;
    if (lines == 0) {
        error = "no complete line set was printed";
        return false;
    }

    const Geometry geometry = Fit(head.byteperline, lines);
    const uint32_t planes = std::min(head.color, kPreviewPlanes);
    std::vector<uint8_t> row(planes * uint64_t{head.byteperline});
    std::vector<uint8_t> rgb(size_t{geometry.width} * geometry.height * 3);
    for (uint32_t y = 0; y < geometry.height; ++y) {
        // The preview planes lead each line set, so one read fetches all that is drawn of the line.
        if (!data.ReadAt(row.data(), row.size(), y * geometry.step * lineBytes)) {
            error = "cannot read " + dataFile.string();
            return false;
        }
        DrawRow(row, planes, head.byteperline, geometry, rgb.data() + size_t{y} * geometry.width * 3);
    }
    return OutputFile::WriteWhole(pngFile, PngEncoder::EncodeRgb(geometry.width, geometry.height, rgb),
                                  error);
}

#include "engine/BmpFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/File.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint16_t kBitsPerPixel = 24;
constexpr uint32_t kCompressionNone = 0;  // BI_RGB

uint16_t Load16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Load32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
void Store16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Store32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A temporary file beside the target that disappears again unless it was renamed into place.
class PendingFile {
public:
    explicit PendingFile(const std::filesystem::path& target) {
        static std::atomic<unsigned> counter{0};
        std::filesystem::path dir = target.parent_path();
        if (dir.empty()) dir = ".";
        // A dot name keeps file lists that hide dot files from showing a picture being written. O_EXCL
        // rather than mkstemp so that the umask gives the picture the permissions of any new file.
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            m_path = dir / ("." + target.filename().string() + "." + std::to_string(::getpid()) + "-" +
                            std::to_string(counter++) + ".tmp");
            m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST) break;
        }
    }
    ~PendingFile() {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_committed) ::unlink(m_path.c_str());
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool WriteAll(std::span<const uint8_t> bytes) {
        if (m_fd < 0) return false;
        while (!bytes.empty()) {
            ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes = bytes.subspan(static_cast<size_t>(n));
        }
        return true;
    }

    // The data reaches the disk before the name does, so that after a crash the name holds the whole
    // picture: a preview that exists is never made again.
    bool CommitAs(const std::filesystem::path& target) {
        if (::fsync(m_fd) != 0) return false;
        if (::close(std::exchange(m_fd, -1)) != 0) return false;
        if (::rename(m_path.c_str(), target.c_str()) != 0) return false;
        m_committed = true;
        return true;
    }

private:
    std::filesystem::path m_path;
    int m_fd = -1;
    bool m_committed = false;
};

}  // namespace

struct CBmpFile::Layout {
    uint32_t width;
    uint32_t height;
    bool topDown;
    uint64_t pixelOffset;

    uint64_t PixelBytes() const { return RowStride(width) * height; }
};

bool CBmpFile::SizeFits(uint64_t width, uint64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide;
}

uint64_t CBmpFile::RowStride(uint32_t width) {
    return (uint64_t{width} * 3 + 3) / 4 * 4;
}

CBmpFile::CBmpFile(uint32_t width, uint32_t height) : m_width(width), m_height(height) {
    if (!SizeFits(width, height)) throw std::length_error("picture size out of range");
    m_pixels.resize(size_t{width} * height);
}

std::vector<uint8_t> CBmpFile::Encode() const {
    const uint64_t stride = RowStride(m_width);
    const auto imageBytes = static_cast<uint32_t>(stride * m_height);
    std::vector<uint8_t> out(kHeaderSize + imageBytes);
    uint8_t* h = out.data();
    h[0] = 'B';
    h[1] = 'M';
    Store32(h + 2, static_cast<uint32_t>(out.size()));
    Store32(h + 10, static_cast<uint32_t>(kHeaderSize));
    Store32(h + 14, kInfoHeaderSize);
    Store32(h + 18, m_width);
    Store32(h + 22, m_height);  // positive: the rows are stored bottom-up
    Store16(h + 26, 1);
    Store16(h + 28, kBitsPerPixel);
    Store32(h + 30, kCompressionNone);
    Store32(h + 34, imageBytes);
    // Resolution and palette words stay 0: no physical size is claimed, and 24-bit pictures have no palette.
    for (uint32_t y = 0; y < m_height; ++y) {
        uint8_t* row = out.data() + kHeaderSize + (m_height - 1 - y) * stride;
        for (uint32_t x = 0; x < m_width; ++x) {
            const Rgb pixel = At(x, y);
            *row++ = pixel.blue;
            *row++ = pixel.green;
            *row++ = pixel.red;
        }
    }
    return out;
}

std::optional<CBmpFile::Layout> CBmpFile::ParseHeader(std::span<const uint8_t, kHeaderSize> header) {
    const uint8_t* h = header.data();
    if (h[0] != 'B' || h[1] != 'M') return std::nullopt;
    if (Load32(h + 14) < kInfoHeaderSize || Load16(h + 26) != 1) return std::nullopt;
    if (Load16(h + 28) != kBitsPerPixel || Load32(h + 30) != kCompressionNone) return std::nullopt;
    const auto width = static_cast<int32_t>(Load32(h + 18));
    const auto height = static_cast<int32_t>(Load32(h + 22));
    // A negative height marks top-down rows; widened first so that INT32_MIN has a magnitude.
    const int64_t rows = height < 0 ? -int64_t{height} : int64_t{height};
    if (width <= 0 || !SizeFits(static_cast<uint64_t>(width), static_cast<uint64_t>(rows)))
        return std::nullopt;
    const uint64_t pixelOffset = Load32(h + 10);
    if (pixelOffset < kFileHeaderSize + Load32(h + 14)) return std::nullopt;
    return Layout{static_cast<uint32_t>(width), static_cast<uint32_t>(rows), height < 0, pixelOffset};
}

CBmpFile CBmpFile::FromRows(const Layout& layout, std::span<const uint8_t> rows) {
    CBmpFile picture(layout.width, layout.height);
    const uint64_t stride = RowStride(layout.width);
    for (uint32_t y = 0; y < layout.height; ++y) {
        const uint32_t stored = layout.topDown ? y : layout.height - 1 - y;
        const uint8_t* p = rows.data() + stored * stride;
        for (uint32_t x = 0; x < layout.width; ++x, p += 3) picture.Set(x, y, Rgb{p[2], p[1], p[0]});
    }
    return picture;
}

std::optional<CBmpFile> CBmpFile::Decode(std::span<const uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) return std::nullopt;
    const auto layout = ParseHeader(bytes.first<kHeaderSize>());
    if (!layout || layout->pixelOffset > bytes.size()) return std::nullopt;
    const std::span<const uint8_t> rows = bytes.subspan(static_cast<size_t>(layout->pixelOffset));
    if (rows.size() < layout->PixelBytes()) return std::nullopt;
    return FromRows(*layout, rows);
}

bool CBmpFile::Write(const std::filesystem::path& path) const {
    PendingFile file(path);
    return file.WriteAll(Encode()) && file.CommitAs(path);
}

std::optional<CBmpFile> CBmpFile::Read(const std::filesystem::path& path) {
    // The header first, so that a corrupt size never decides how much is read into memory.
    const platform::File file = platform::File::OpenRead(path);
    std::array<uint8_t, kHeaderSize> header{};
    if (!file || !file.ReadAt(header.data(), header.size(), 0)) return std::nullopt;
    const auto layout = ParseHeader(header);
    if (!layout) return std::nullopt;
    std::vector<uint8_t> rows(static_cast<size_t>(layout->PixelBytes()));
    if (!file.ReadAt(rows.data(), rows.size(), layout->pixelOffset)) return std::nullopt;
    return FromRows(*layout, rows);
}

#include "engine/RipFile.h"

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <vector>

#include "engine/BmpFile.h"
#include "engine/HotFolderMonitor.h"
#include "engine/PreviewColor.h"
#include "platform/File.h"

namespace {

// The most of one plane row read at a time. Rows are read whole up to this, so a preview costs few reads;
// beyond it a row is read in pieces, so a huge byteperline cannot make the preview allocate much.
constexpr uint64_t kChunkBytes = 256 * 1024;

HeadReadResult ReadHeadFrom(const platform::File& file) {
    HeadReadResult result;
    if (!file) return result;
    auto length = file.Size();
    if (!length) return result;
    result.fileLength = *length;
    std::array<uint8_t, RipHead::kSize> bytes{};
    if (result.fileLength < RipHead::kSize) {
        result.error = HeadError::TooShort;
        return result;
    }
    if (!file.ReadAt(bytes.data(), bytes.size(), 0)) return result;
    result.head = RipHead::FromBytes(bytes);
    result.error = result.head.DeriveForFile(result.fileLength);
    return result;
}

// Reads of a job file in which the bytes past its end count as 0: a job with fewer than four planes takes
// its missing plane rows from the following lines, and those of its last lines lie past the end.
class ClippedReader {
public:
    ClippedReader(const platform::File& file, uint64_t length) : m_file(file), m_length(length) {}

    bool Read(uint8_t* out, uint64_t count, uint64_t offset) {
        const uint64_t present = offset < m_length ? std::min(count, m_length - offset) : 0;
        if (present > 0 && !m_file.ReadAt(out, present, offset)) return false;
        std::fill(out + present, out + count, uint8_t{0});
        m_bytesRead += present;
        return true;
    }
    uint64_t BytesRead() const { return m_bytesRead; }

private:
    const platform::File& m_file;
    uint64_t m_length;
    uint64_t m_bytesRead = 0;
};

// Draws picture rows from the sampled lines, four plane rows per line.
class PreviewPainter {
public:
    PreviewPainter(ClippedReader& reader, const RipHead& head, const PreviewGeometry& geometry, int ripColor)
        : m_reader(reader),
          m_head(head),
          m_geometry(geometry),
          m_order(PlaneOrderFor(ripColor)),
          m_chunk(std::min(kChunkBytes, geometry.SourceByte(geometry.width - 1) + 1)),
          m_buffer(CRipFile::kPreviewPlanes * m_chunk) {}

    bool Paint(CBmpFile& picture) {
        for (uint32_t row = 0; row < m_geometry.height; ++row) {
            if (!PaintRow(row, picture)) return false;
        }
        return true;
    }

private:
    // Columns are taken in runs whose bytes fit one chunk of each plane row.
    bool PaintRow(uint32_t row, CBmpFile& picture) {
        const uint64_t line = m_geometry.SourceLine(row);
        uint32_t column = 0;
        while (column < m_geometry.width) {
            const uint64_t first = m_geometry.SourceByte(column);
            uint32_t end = column + 1;
            while (end < m_geometry.width && m_geometry.SourceByte(end) - first < m_chunk) ++end;
            if (!ReadPlanes(line, first, m_geometry.SourceByte(end - 1) - first + 1)) return false;
            for (; column < end; ++column)
                picture.Set(column, row, Pixel(m_geometry.SourceByte(column) - first));
        }
        return true;
    }

    // Plane row p of line n begins at 48 + byteperline × (color × n + p). A job of fewer than four planes
    // lends the rows of its next line to the missing planes; they are taken as they are.
    bool ReadPlanes(uint64_t line, uint64_t first, uint64_t count) {
        for (uint32_t p = 0; p < CRipFile::kPreviewPlanes; ++p) {
            const uint64_t rowStart =
                RipHead::kSize + uint64_t{m_head.byteperline} * (m_head.color * line + p);
            if (!m_reader.Read(m_buffer.data() + p * m_chunk, count, rowStart + first)) return false;
        }
        return true;
    }

    Rgb Pixel(uint64_t at) const {
        std::array<uint8_t, CRipFile::kPreviewPlanes> ink{};
        for (uint32_t p = 0; p < ink.size(); ++p) ink[p] = m_buffer[p * m_chunk + at];
        return PreviewPixel(ink, m_order);
    }

    ClippedReader& m_reader;
    const RipHead& m_head;
    const PreviewGeometry& m_geometry;
    PlaneOrder m_order;
    uint64_t m_chunk;
    std::vector<uint8_t> m_buffer;
};

PreviewResult Refused(PreviewError error, HeadError headError = HeadError::None) {
    PreviewResult result;
    result.error = error;
    result.headError = headError;
    return result;
}

}  // namespace

std::string_view PreviewResult::Reason() const {
    switch (error) {
        case PreviewError::None: return "preview written";
        case PreviewError::BadHead: return HeadErrorText(headError);
        case PreviewError::ZeroResolution: return "the header's X or Y resolution is 0";
        case PreviewError::EmptyPicture: return "the job is too small for a preview picture";
        case PreviewError::PictureTooLarge: return "the preview picture would exceed 32768 pixels a side";
        case PreviewError::ReadFailed: return "the job file could not be read";
        case PreviewError::WriteFailed: return "the preview picture could not be written";
    }
    return "unknown preview error";
}

HeadReadResult CRipFile::ReadHead(const std::filesystem::path& path) {
    return ReadHeadFrom(platform::File::OpenRead(path));
}

uint64_t CRipFile::PreviewStep(uint32_t jobWidth, int viewWidth) {
    const auto view = static_cast<uint32_t>(viewWidth > 0 ? viewWidth : kDefaultViewWidth);
    return uint64_t{jobWidth} / view + 5;
}

PreviewResult CRipFile::PlanPreview(const RipHead& head, int viewWidth) {
    if (head.xdpi == 0 || head.ydpi == 0) return Refused(PreviewError::ZeroResolution);
    PreviewGeometry g;
    g.step = PreviewStep(head.width, viewWidth);
    g.xdpi = head.xdpi;
    g.ydpi = head.ydpi;
    g.bit = head.bit;
    const uint64_t columns = head.width / g.step;
    // height × xdpi ÷ (ydpi × step), divided in two steps: the same quotient, and no product beyond 64 bits.
    const uint64_t rows = uint64_t{head.height} * head.xdpi / head.ydpi / g.step;
    if (columns == 0 || rows == 0) return Refused(PreviewError::EmptyPicture);
    if (!CBmpFile::SizeFits(columns, rows)) return Refused(PreviewError::PictureTooLarge);
    g.width = static_cast<uint32_t>(columns);
    g.height = static_cast<uint32_t>(rows);
    PreviewResult result;
    result.geometry = g;
    return result;
}

std::filesystem::path CRipFile::PreviewPath(const std::filesystem::path& jobPath) {
    std::filesystem::path preview = jobPath;
    preview += ".bmp";
    return preview;
}

std::vector<std::filesystem::path> CRipFile::JobsWithoutPreview(const std::filesystem::path& folder) {
    std::set<std::string> jobs;   // ordered by name, byte by byte
    std::set<std::string> files;  // every name that is not a folder, to look pictures up exactly
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) continue;
        std::string name = it->path().filename().string();
        if (CHotFolderMonitor::IsJobFileName(name)) jobs.insert(name);
        files.insert(std::move(name));
    }
    std::vector<std::filesystem::path> missing;
    for (const auto& name : jobs) {
        if (!files.contains(name + ".bmp")) missing.push_back(folder / name);
    }
    return missing;
}

PreviewResult CRipFile::MakePreview(const std::filesystem::path& jobPath, int viewWidth, int ripColor) {
    // One descriptor for the header and the lines, so both come from the same file.
    const platform::File file = platform::File::OpenRead(jobPath);
    const HeadReadResult head = ReadHeadFrom(file);
    if (!head) return Refused(PreviewError::BadHead, head.error);
    PreviewResult result = PlanPreview(head.head, viewWidth);
    result.bytesRead = RipHead::kSize;
    if (!result) return result;

    CBmpFile picture(result.geometry.width, result.geometry.height);
    ClippedReader reader(file, head.fileLength);
    const bool painted = PreviewPainter(reader, head.head, result.geometry, ripColor).Paint(picture);
    result.bytesRead += reader.BytesRead();
    if (!painted) {
        result.error = PreviewError::ReadFailed;
    } else if (!picture.Write(PreviewPath(jobPath))) {
        result.error = PreviewError::WriteFailed;
    }
    return result;
}

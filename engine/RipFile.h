#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "engine/RipHead.h"

// What reading a job file's header gave: the header with its derived values, or why it is refused.
struct HeadReadResult {
    RipHead head;
    HeadError error = HeadError::CannotOpen;
    uint64_t fileLength = 0;

    explicit operator bool() const { return error == HeadError::None; }
};

// Why a job gets no preview.
enum class PreviewError {
    None,
    BadHead,          // the header cannot be read or used; PreviewResult::headError says why
    ZeroResolution,   // xdpi or ydpi 0: the picture's height has no meaning
    EmptyPicture,     // the job is too narrow or too short for one picture pixel
    PictureTooLarge,  // a side of the picture beyond CBmpFile::kMaxSide
    ReadFailed,       // the job file failed while its lines were read
    WriteFailed,      // the picture cannot be written beside the job
};

// Which raster bytes a preview samples. The picture keeps the job's proportions on paper: it is width ÷ step
// columns wide, and its rows are spread over the lines as the two resolutions say.
struct PreviewGeometry {
    uint64_t step = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t xdpi = 0;
    uint32_t ydpi = 0;
    uint32_t bit = 0;

    // The raster line that picture row `row` (< height) shows: row × step × ydpi ÷ xdpi. Below the job's
    // height, and the product stays below height × xdpi, so 64 bits always hold it.
    uint64_t SourceLine(uint32_t row) const { return uint64_t{row} * step * ydpi / xdpi; }
    // The byte of a plane row holding picture column `column` (< width); the whole byte is the ink amount
    // even when a pixel has fewer bits.
    uint64_t SourceByte(uint32_t column) const { return uint64_t{column} * step * bit / 8; }
};

struct PreviewResult {
    PreviewError error = PreviewError::None;
    HeadError headError = HeadError::None;
    PreviewGeometry geometry;
    // Bytes that came from the job file, header included: the preview must not read the whole job.
    uint64_t bytesRead = 0;

    explicit operator bool() const { return error == PreviewError::None; }
    std::string_view Reason() const;
};

// A raster job file (.prn / .prt) on disk.
class CRipFile {
public:
    // The view's width before a window has been shown, when it reads as 0.
    static constexpr int kDefaultViewWidth = 1000;
    // Four plane rows of a sampled line are read, whatever the job's plane count.
    static constexpr uint32_t kPreviewPlanes = 4;

    // Reads the first 48 bytes and derives the values a job file's reader uses.
    static HeadReadResult ReadHead(const std::filesystem::path& path);

    // Picture columns are every step-th pixel of a line: width ÷ view width + 5, so that the picture is
    // narrower than the view. A view width of 0 or less takes kDefaultViewWidth.
    static uint64_t PreviewStep(uint32_t jobWidth, int viewWidth);
    // The picture a header gives in a view of that width, or why there is none; reads nothing.
    static PreviewResult PlanPreview(const RipHead& head, int viewWidth);
    // `job.prn` → `job.prn.bmp`: the job file's full name with ".bmp" appended.
    static std::filesystem::path PreviewPath(const std::filesystem::path& jobPath);
    // The job files of a folder (*.prn, *.prt in any letter case, folders left out) that have no picture
    // under PreviewPath, in name order. A picture counts only under its exact name: `JOB.PRN.BMP` is not the
    // preview of `job.prn`. An unreadable folder has none.
    static std::vector<std::filesystem::path> JobsWithoutPreview(const std::filesystem::path& folder);

    // Reads the header and the sampled lines of the job and writes the picture to PreviewPath, replacing
    // any picture there. ripColor is the RIPCOLOR plane order; values outside 0..2 take the default order.
    static PreviewResult MakePreview(const std::filesystem::path& jobPath, int viewWidth, int ripColor);
};

// Preview pictures of crafted job files: the header says anything, the file holds whatever bytes follow.

#include <algorithm>

#include "FuzzSupport.h"
#include "engine/BmpFile.h"
#include "engine/RipFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::SilenceTrace();
    fuzzsupport::FuzzInput in(data, size);
    // A view as wide as a screen is; negative and zero take the default.
    const int viewWidth = static_cast<int>(static_cast<int16_t>(in.U16())) % 4096;
    const int ripColor = static_cast<int8_t>(in.Byte());
    const std::string_view job = in.Rest();

    const auto path = fuzzsupport::ScratchDir() / "job.prn";
    const auto picture = CRipFile::PreviewPath(path);
    std::filesystem::remove(picture);
    fuzzsupport::WriteFile(path, job);

    const PreviewResult result = CRipFile::MakePreview(path, viewWidth, ripColor);
    FUZZ_CHECK(!result.Reason().empty());
    if (!result) {
        FUZZ_CHECK(result.error == PreviewError::WriteFailed || !std::filesystem::exists(picture));
        return 0;
    }
    const PreviewGeometry& g = result.geometry;
    std::error_code error;
    const auto written = std::filesystem::file_size(picture, error);
    FUZZ_CHECK(!error);
    FUZZ_CHECK(written == CBmpFile::kHeaderSize + CBmpFile::RowStride(g.width) * g.height);
    return 0;
}

// The raster header as it arrives from a job file or a socket: its bytes, the values derived from it for
// a file of some length and for a stream, and the preview geometry a header plans.

#include <cstring>

#include "FuzzSupport.h"
#include "engine/RipFile.h"
#include "engine/RipHead.h"

namespace {

void CheckFileHead(RipHead head, uint64_t fileLength) {
    const HeadError error = head.DeriveForFile(fileLength);
    FUZZ_CHECK(!HeadErrorText(error).empty());
    FUZZ_CHECK(head.fpaperwidth == 0);
    if (error != HeadError::None) return;
    FUZZ_CHECK(head.color >= 1);
    FUZZ_CHECK(head.width > 0);
    FUZZ_CHECK(head.LineBytes() <= RipHead::kMaxLineBytes);
    // Every plane the header is given must be in the file.
    FUZZ_CHECK(fileLength >= RipHead::kSize && head.DataBytes() <= fileLength - RipHead::kSize);
    FUZZ_CHECK(head.bit == uint64_t{head.byteperline} * 8 / head.width);
}

void CheckStreamHead(RipHead head) {
    const uint32_t colour = head.color;
    const HeadError error = head.DeriveForStream();
    FUZZ_CHECK(head.fpaperwidth == 0);
    FUZZ_CHECK(head.color == (colour & 0xFF));
    if (error != HeadError::None) return;
    FUZZ_CHECK(head.color >= 1 && head.byteperline >= 1 && head.width >= 1);
    FUZZ_CHECK(head.LineBytes() <= RipHead::kMaxLineBytes);
}

// A planned picture only samples bytes inside the job: rows below its height, columns inside a plane row.
void CheckPreviewPlan(RipHead head, uint64_t fileLength, int viewWidth) {
    if (head.DeriveForFile(fileLength) != HeadError::None) return;
    const PreviewResult plan = CRipFile::PlanPreview(head, viewWidth);
    if (!plan) {
        FUZZ_CHECK(!plan.Reason().empty());
        return;
    }
    const PreviewGeometry& g = plan.geometry;
    FUZZ_CHECK(g.width >= 1 && g.height >= 1);
    FUZZ_CHECK(g.step >= 5);
    FUZZ_CHECK(g.SourceLine(g.height - 1) < head.height);
    FUZZ_CHECK(g.SourceByte(g.width - 1) < head.byteperline);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::SilenceTrace();
    if (size < RipHead::kSize) return 0;
    const RipHead head = RipHead::FromBytes(std::span<const uint8_t, RipHead::kSize>(data, RipHead::kSize));
    const auto bytes = head.ToBytes();
    FUZZ_CHECK(std::memcmp(bytes.data(), data, RipHead::kSize) == 0);

    fuzzsupport::FuzzInput in(data + RipHead::kSize, size - RipHead::kSize);
    const uint64_t fileLength = in.U64();
    const int viewWidth = static_cast<int>(in.U32());
    CheckFileHead(head, fileLength);
    CheckStreamHead(head);
    CheckPreviewPlan(head, fileLength, viewWidth);
    return 0;
}

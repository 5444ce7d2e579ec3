#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "JobFiles.h"
#include "TestSupport.h"
#include "engine/BmpFile.h"
#include "engine/PreviewColor.h"
#include "engine/RipFile.h"

using testsupport::JobBytes;
using testsupport::TempDir;

namespace {

constexpr Rgb kWhite{255, 255, 255}, kBlack{0, 0, 0}, kCyan{0, 255, 255}, kMagenta{255, 0, 255},
    kYellow{255, 255, 0};

RipHead JobHead(uint32_t width, uint32_t byteperline, uint32_t height, uint32_t xdpi, uint32_t ydpi) {
    RipHead h = testsupport::TestHead(byteperline, height, width);
    h.xdpi = xdpi;
    h.ydpi = ydpi;
    return h;
}

// The colour of byte `at` of the four plane rows that begin at line `line` of a job of `planes` planes, taken
// straight from the job's bytes; past the end of the file there is no ink.
Rgb Expected(const std::string& job, uint32_t byteperline, uint32_t planes, uint64_t line, uint64_t at,
             int ripColor) {
    std::array<uint8_t, 4> ink{};
    for (uint32_t p = 0; p < 4; ++p) {
        const uint64_t offset = 48 + uint64_t{byteperline} * (planes * line + p) + at;
        ink[p] = offset < job.size() ? static_cast<uint8_t>(job[offset]) : 0;
    }
    return PreviewPixel(ink, PlaneOrderFor(ripColor));
}

std::set<std::string> Names(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes[at + i]);
    return v;
}
uint16_t Le16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

void PutLe32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

CBmpFile Gradient(uint32_t width, uint32_t height) {
    CBmpFile picture(width, height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            picture.Set(x, y,
                        Rgb{static_cast<uint8_t>(x * 40 + 1), static_cast<uint8_t>(y * 50 + 2),
                            static_cast<uint8_t>(x * 7 + y * 11 + 3)});
    return picture;
}

}  // namespace

// ---- colours ----

TEST(PreviewColorTest, InkAmountsGiveTheScreenColour) {
    struct Case {
        const char* what;
        int c, m, y, k;
        Rgb rgb;
    } cases[] = {
        {"no ink is white", 0, 0, 0, 0, kWhite},
        {"full black is black", 0, 0, 0, 255, kBlack},
        {"black covers any colour", 255, 90, 10, 255, kBlack},
        {"cyan alone", 255, 0, 0, 0, kCyan},
        {"magenta alone", 0, 255, 0, 0, kMagenta},
        {"yellow alone", 0, 0, 255, 0, kYellow},
        // 128 × 127 ÷ 255 = 63.75: integer division truncates, so red is 255 − (63 + 128)
        {"half cyan over half black", 128, 0, 0, 128, {64, 127, 127}},
        {"colour under black is scaled by what black leaves", 255, 100, 0, 200, {0, 34, 55}},
    };
    for (const Case& c : cases) EXPECT_EQ(PreviewPixel(c.c, c.m, c.y, c.k), c.rgb) << c.what;
}

TEST(PreviewColorTest, RipColorNamesThePlaneOrder) {
    // The colour of a pixel whose plane p alone carries full ink, for p = 0..3.
    struct Case {
        int ripColor;
        std::array<Rgb, 4> planeAlone;
    } cases[] = {
        {0, {kYellow, kMagenta, kCyan, kBlack}},
        {1, {kBlack, kCyan, kMagenta, kYellow}},
        {2, {kCyan, kMagenta, kYellow, kBlack}},
        {7, {kBlack, kCyan, kMagenta, kYellow}},  // unknown values take the default
        {-1, {kBlack, kCyan, kMagenta, kYellow}},
    };
    for (const Case& c : cases) {
        for (int p = 0; p < 4; ++p) {
            std::array<uint8_t, 4> ink{};
            ink[p] = 255;
            EXPECT_EQ(PreviewPixel(ink, PlaneOrderFor(c.ripColor)), c.planeAlone[p])
                << "RIPCOLOR " << c.ripColor << ", plane " << p;
        }
    }
}

// ---- geometry ----

TEST(PreviewGeometryTest, StepFollowsTheViewWidth) {
    struct Case {
        uint32_t jobWidth;
        int viewWidth;
        uint64_t step;
    } cases[] = {
        {10000, 1000, 15},
        {10000, 0, 15},  // no window shown yet: the default width
        {10000, -20, 15},
        {999, 1000, 5},
        {0, 1000, 5},
        {10000, 1, 10005},
        {std::numeric_limits<uint32_t>::max(), 1, 4294967300ull},  // past 32 bits
    };
    for (const Case& c : cases)
        EXPECT_EQ(CRipFile::PreviewStep(c.jobWidth, c.viewWidth), c.step)
            << c.jobWidth << " in " << c.viewWidth;

    RipHead head = JobHead(10000, 10000, 20000, 720, 720);
    head.bit = 8;
    PreviewResult plan = CRipFile::PlanPreview(head, 1000);
    ASSERT_TRUE(plan) << plan.Reason();
    EXPECT_EQ(plan.geometry.width, 666u);
    EXPECT_EQ(plan.geometry.height, 1333u);
}

TEST(PreviewGeometryTest, PictureIsAlwaysNarrowerThanTheView) {
    for (int view : {3, 7, 640, 1000, 1920}) {
        for (uint32_t width = 5; width < 200000; width = width * 3 / 2 + 1) {
            RipHead head = JobHead(width, width, 720, 720, 720);
            PreviewResult plan = CRipFile::PlanPreview(head, view);
            if (plan) {
                EXPECT_LT(plan.geometry.width, static_cast<uint32_t>(view)) << width << " in " << view;
            }
        }
    }
}

TEST(PreviewGeometryTest, RowsFollowTheResolutions) {
    struct Case {
        const char* what;
        uint32_t height, xdpi, ydpi;
        uint32_t rows;
        uint64_t lineEvery;
    } cases[] = {
        {"720 x 1440 samples every 20th line", 2000, 720, 1440, 100, 20},
        {"1440 x 720 samples every 5th line", 2000, 1440, 720, 400, 5},
        {"720 x 1440, height not a multiple of 20", 2019, 720, 1440, 100, 20},
        {"equal resolutions sample every step-th line", 2000, 720, 720, 200, 10},
        // height × xdpi and the line products exceed 32 bits
        {"64-bit products", 200000, 100000, 100000, 20000, 10},
    };
    for (const Case& c : cases) {
        RipHead head = JobHead(50, 50, c.height, c.xdpi, c.ydpi);  // step 10 in a view 10 wide
        PreviewResult plan = CRipFile::PlanPreview(head, 10);
        ASSERT_TRUE(plan) << c.what << ": " << plan.Reason();
        ASSERT_EQ(plan.geometry.step, 10u) << c.what;
        EXPECT_EQ(plan.geometry.width, 5u) << c.what;
        EXPECT_EQ(plan.geometry.height, c.rows) << c.what;
        for (uint32_t row : {0u, 1u, 7u, c.rows - 1})
            EXPECT_EQ(plan.geometry.SourceLine(row), row * c.lineEvery) << c.what << ", row " << row;
        EXPECT_LT(plan.geometry.SourceLine(c.rows - 1), c.height) << c.what;
    }
}

// ---- the written picture ----

TEST(PreviewTest, PixelsComeFromTheSampledLinesAndBytes) {
    struct Case {
        const char* what;
        uint32_t width, byteperline, height, xdpi, ydpi;
        int viewWidth, ripColor;
        uint32_t columns, rows;
        uint64_t lineEvery;
    } cases[] = {
        {"720 x 1440, step 10", 50, 50, 200, 720, 1440, 10, 1, 5, 10, 20},
        {"1440 x 720, step 10", 50, 50, 200, 1440, 720, 10, 0, 5, 40, 5},
        // 2 bits a pixel: column j is byte j × 10 × 2 ÷ 8, not j × (10 × 2 ÷ 8)
        {"2 bits a pixel", 200, 50, 30, 720, 720, 40, 2, 20, 3, 10},
        {"unknown RIPCOLOR", 50, 50, 200, 720, 1440, 10, 7, 5, 10, 20},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const RipHead head = JobHead(c.width, c.byteperline, c.height, c.xdpi, c.ydpi);
        const std::string job = JobBytes(head, 4);
        testsupport::WriteFile(dir / "job.prn", job);

        PreviewResult result = CRipFile::MakePreview(dir / "job.prn", c.viewWidth, c.ripColor);
        ASSERT_TRUE(result) << c.what << ": " << result.Reason();
        auto picture = CBmpFile::Read(dir / "job.prn.bmp");
        ASSERT_TRUE(picture) << c.what;
        ASSERT_EQ(picture->Width(), c.columns) << c.what;
        ASSERT_EQ(picture->Height(), c.rows) << c.what;
        const uint64_t bit = uint64_t{c.byteperline} * 8 / c.width;
        for (uint32_t i = 0; i < c.rows; ++i)
            for (uint32_t j = 0; j < c.columns; ++j)
                ASSERT_EQ(picture->At(j, i),
                          Expected(job, c.byteperline, 4, i * c.lineEvery, j * 10 * bit / 8, c.ripColor))
                    << c.what << ", pixel " << j << "," << i;
    }
}

TEST(PreviewTest, ReadsOnlyTheSampledRows) {
    TempDir dir;
    const RipHead head = JobHead(1000, 1000, 1000, 720, 1440);
    testsupport::WriteJob(dir / "job.prn", head, 4);
    const uint64_t fileSize = std::filesystem::file_size(dir / "job.prn");

    PreviewResult result = CRipFile::MakePreview(dir / "job.prn", 100, 1);  // step 15
    ASSERT_TRUE(result) << result.Reason();
    ASSERT_EQ(result.geometry.step, 15u);
    ASSERT_EQ(result.geometry.width, 66u);
    ASSERT_EQ(result.geometry.height, 33u);
    // The header, then four plane rows per picture row, each up to the byte of the last column.
    EXPECT_EQ(result.bytesRead, 48u + 33u * 4u * (65u * 15u + 1u));
    EXPECT_LT(result.bytesRead * 20, fileSize);
}

TEST(PreviewTest, RowsLongerThanOneReadAreReadInPieces) {
    // 600,000 bytes a row: more than the preview reads at once. xdpi = step × ydpi samples every line.
    TempDir dir;
    const RipHead head = JobHead(600000, 600000, 4, 605 * 720, 720);
    const std::string job = JobBytes(head, 1);
    testsupport::WriteFile(dir / "job.prn", job);

    PreviewResult result = CRipFile::MakePreview(dir / "job.prn", 1000, 1);
    ASSERT_TRUE(result) << result.Reason();
    ASSERT_EQ(result.geometry.step, 605u);
    auto picture = CBmpFile::Read(dir / "job.prn.bmp");
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->Width(), 991u);
    ASSERT_EQ(picture->Height(), 4u);
    for (uint32_t i = 0; i < 4; ++i)
        for (uint32_t j = 0; j < 991; ++j)
            ASSERT_EQ(picture->At(j, i), Expected(job, 600000, 1, i, j * 605ull, 1)) << j << "," << i;
}

TEST(PreviewTest, FewerThanFourPlanesReadZerosPastTheEnd) {
    // xdpi = 5 × ydpi with step 5: every line is a picture row, the last one included, and the plane rows
    // missing from a line are taken from the next lines, then from past the end of the file.
    struct Case {
        uint32_t planes;
        size_t trailing;
    } cases[] = {{1, 0}, {2, 0}, {3, 0}, {3, 7}};
    for (const Case& c : cases) {
        TempDir dir;
        const RipHead head = JobHead(10, 10, 4, 3600, 720);
        const std::string job = JobBytes(head, c.planes, c.trailing);
        testsupport::WriteFile(dir / "job.prn", job);

        PreviewResult result = CRipFile::MakePreview(dir / "job.prn", 1000, 1);
        ASSERT_TRUE(result) << c.planes << " planes: " << result.Reason();
        auto picture = CBmpFile::Read(dir / "job.prn.bmp");
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->Height(), 4u);
        for (uint32_t i = 0; i < 4; ++i)
            for (uint32_t j = 0; j < 2; ++j)
                EXPECT_EQ(picture->At(j, i), Expected(job, 10, c.planes, i, j * 5, 1))
                    << c.planes << " planes, " << c.trailing << " trailing, pixel " << j << "," << i;
    }
}

TEST(PreviewTest, OffsetsBeyond4GiB) {
    // A sparse job of 5 GB: one plane of 100,000-byte rows, 50,000 lines. Only the byte at the start of
    // the last sampled line is inked; 32-bit offsets would land on a blank part of the file.
    TempDir dir;
    const RipHead head = JobHead(100000, 100000, 50000, 720, 7200);
    const uint64_t length = 48 + 100000ull * 50000;
    {
        std::ofstream out(dir / "big.prn", std::ios::binary);
        const auto bytes = head.ToBytes();
        out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    std::filesystem::resize_file(dir / "big.prn", length);
    const PreviewGeometry g = CRipFile::PlanPreview(head, 1000).geometry;
    ASSERT_EQ(g.height, 47u);
    const uint64_t lastLine = g.SourceLine(g.height - 1);
    ASSERT_EQ(lastLine, 48300u);
    {
        std::fstream out(dir / "big.prn", std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(48 + 100000 * lastLine));
        out.put('\xFF');
    }

    PreviewResult result = CRipFile::MakePreview(dir / "big.prn", 1000, 1);
    ASSERT_TRUE(result) << result.Reason();
    auto picture = CBmpFile::Read(dir / "big.prn.bmp");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->At(0, g.height - 1), kBlack);
    EXPECT_EQ(picture->At(1, g.height - 1), kWhite);
    EXPECT_EQ(picture->At(0, g.height - 2), kWhite);
}

TEST(PreviewTest, RefusedJobsGetNoPicture) {
    struct Case {
        const char* what;
        std::function<void(RipHead&)> change;
        uint32_t planes;
        PreviewError error;
        HeadError headError;
    } cases[] = {
        {"xdpi 0", [](RipHead& h) { h.xdpi = 0; }, 4, PreviewError::ZeroResolution, HeadError::None},
        {"ydpi 0", [](RipHead& h) { h.ydpi = 0; }, 4, PreviewError::ZeroResolution, HeadError::None},
        {"width 0", [](RipHead& h) { h.width = 0; }, 4, PreviewError::BadHead, HeadError::ZeroWidth},
        {"height 0", [](RipHead& h) { h.height = 0; }, 4, PreviewError::BadHead, HeadError::ZeroLineBytes},
        {"byteperline 0", [](RipHead& h) { h.byteperline = 0; }, 4, PreviewError::BadHead,
         HeadError::ZeroLineBytes},
        {"no raster data", [](RipHead&) {}, 0, PreviewError::BadHead, HeadError::ZeroPlanes},
        {"narrower than the step", [](RipHead& h) { h.width = h.byteperline = 4; }, 4,
         PreviewError::EmptyPicture, HeadError::None},
        {"too few lines for a row", [](RipHead& h) { h.ydpi = 10 * h.xdpi; }, 4, PreviewError::EmptyPicture,
         HeadError::None},
        {"taller than a picture may be",
         [](RipHead& h) {
             h.xdpi = 720000;
             h.ydpi = 1;
             h.height = 1;
         },
         4, PreviewError::PictureTooLarge, HeadError::None},
    };
    for (const Case& c : cases) {
        TempDir dir;
        RipHead head = JobHead(20, 20, 40, 720, 720);
        c.change(head);
        testsupport::WriteJob(dir / "job.prn", head, c.planes);

        PreviewResult result = CRipFile::MakePreview(dir / "job.prn", 1000, 1);
        EXPECT_EQ(result.error, c.error) << c.what;
        EXPECT_EQ(result.headError, c.headError) << c.what;
        EXPECT_FALSE(result.Reason().empty()) << c.what;
        EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"job.prn"}) << c.what;
    }

    TempDir dir;
    testsupport::WriteFile(dir / "short.prn", "0123456789");
    EXPECT_EQ(CRipFile::MakePreview(dir / "short.prn", 1000, 1).headError, HeadError::TooShort);
    PreviewResult missing = CRipFile::MakePreview(dir / "missing.prn", 1000, 1);
    EXPECT_EQ(missing.error, PreviewError::BadHead);
    EXPECT_EQ(missing.headError, HeadError::CannotOpen);
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"short.prn"});
}

TEST(PreviewTest, PictureLiesBesideTheJobUnderItsFullName) {
    EXPECT_EQ(CRipFile::PreviewPath("/jobs/job.prn"), "/jobs/job.prn.bmp");
    EXPECT_EQ(CRipFile::PreviewPath("banner.v2.PRT"), "banner.v2.PRT.bmp");

    TempDir dir;
    const RipHead head = JobHead(40, 40, 40, 720, 720);
    testsupport::WriteJob(dir / "job.prn", head, 4);
    testsupport::WriteFile(dir / "job.prn.bmp", "a stale picture");  // replaced, not kept

    PreviewResult result = CRipFile::MakePreview(dir / "job.prn", 1000, 1);
    ASSERT_TRUE(result) << result.Reason();
    EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{"job.prn", "job.prn.bmp"}));
    auto picture = CBmpFile::Read(dir / "job.prn.bmp");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Width(), 8u);
    EXPECT_EQ(picture->Height(), 8u);
}

TEST(PreviewTest, JobsWithoutPreviewAreTheJobFilesLackingTheirPictureByExactName) {
    TempDir dir;
    for (const char* name : {"a.prn", "a.prn.bmp", "b.prt", "C.PRN", "job.prn", "JOB.PRN.BMP", "notes.txt",
                             "e.prn", "picture.bmp"})
        testsupport::WriteFile(dir / name, "x");
    std::filesystem::create_directory(dir / "folder.prn");  // a folder is no job
    std::filesystem::create_directory(dir / "e.prn.bmp");   // nor a picture

    std::vector<std::filesystem::path> expected;
    for (const char* name : {"C.PRN", "b.prt", "e.prn", "job.prn"}) expected.push_back(dir / name);
    EXPECT_EQ(CRipFile::JobsWithoutPreview(dir.Path()), expected);
    EXPECT_TRUE(CRipFile::JobsWithoutPreview(dir / "missing").empty());
}

TEST(PreviewTest, UnwritablePictureIsReported) {
    TempDir dir;
    testsupport::WriteJob(dir / "job.prn", JobHead(40, 40, 40, 720, 720), 4);
    std::filesystem::create_directory(dir / "job.prn.bmp");

    PreviewResult result = CRipFile::MakePreview(dir / "job.prn", 1000, 1);
    EXPECT_EQ(result.error, PreviewError::WriteFailed);
    EXPECT_EQ(Names(dir.Path()), (std::set<std::string>{"job.prn", "job.prn.bmp"}));  // no temporary left
}

// ---- BMP files ----

TEST(BmpFileTest, WritesA24BitBottomUpFileWithPaddedRows) {
    TempDir dir;
    CBmpFile picture(3, 2);  // 9 bytes of pixels a row, padded to 12
    picture.Set(0, 0, {1, 2, 3});
    picture.Set(2, 0, {4, 5, 6});
    picture.Set(0, 1, {7, 8, 9});
    picture.Set(2, 1, {10, 11, 12});
    ASSERT_TRUE(picture.Write(dir / "p.bmp"));
    const std::string f = testsupport::ReadFile(dir / "p.bmp");

    ASSERT_EQ(f.size(), 54u + 2 * 12);
    EXPECT_EQ(f.substr(0, 2), "BM");
    EXPECT_EQ(Le32(f, 2), 78u);  // file size
    EXPECT_EQ(Le32(f, 6), 0u);
    EXPECT_EQ(Le32(f, 10), 54u);  // pixel offset
    EXPECT_EQ(Le32(f, 14), 40u);  // BITMAPINFOHEADER
    EXPECT_EQ(Le32(f, 18), 3u);
    EXPECT_EQ(Le32(f, 22), 2u);  // positive: bottom-up
    EXPECT_EQ(Le16(f, 26), 1u);
    EXPECT_EQ(Le16(f, 28), 24u);
    EXPECT_EQ(Le32(f, 30), 0u);  // BI_RGB
    EXPECT_EQ(Le32(f, 34), 24u);
    // The bottom row first, blue-green-red, then three bytes of padding; then the top row.
    EXPECT_EQ(f.substr(54, 12), std::string("\x09\x08\x07\0\0\0\x0C\x0B\x0A\0\0\0", 12));
    EXPECT_EQ(f.substr(66, 12), std::string("\x03\x02\x01\0\0\0\x06\x05\x04\0\0\0", 12));

    auto back = CBmpFile::Read(dir / "p.bmp");
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, picture);
}

TEST(BmpFileTest, RoundTripsEveryRowPadding) {
    TempDir dir;
    const uint64_t strides[] = {4, 8, 12, 12, 16, 20};
    for (uint32_t width = 1; width <= 6; ++width) {
        const CBmpFile picture = Gradient(width, 3);
        EXPECT_EQ(CBmpFile::RowStride(width), strides[width - 1]);
        ASSERT_TRUE(picture.Write(dir / "p.bmp"));
        EXPECT_EQ(std::filesystem::file_size(dir / "p.bmp"), 54 + 3 * strides[width - 1]) << width;
        auto back = CBmpFile::Read(dir / "p.bmp");
        ASSERT_TRUE(back) << width;
        EXPECT_EQ(*back, picture) << width;
    }
}

TEST(BmpFileTest, ReadsTopDownFiles) {
    const CBmpFile picture = Gradient(3, 2);
    std::vector<uint8_t> bytes = picture.Encode();
    PutLe32(bytes, 22, static_cast<uint32_t>(-2));
    std::swap_ranges(bytes.begin() + 54, bytes.begin() + 66, bytes.begin() + 66);
    auto back = CBmpFile::Decode(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, picture);
}

TEST(BmpFileTest, RefusesWhatItCannotRead) {
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> change;
    } cases[] = {
        {"not BM", [](auto& b) { b[0] = 'X'; }},
        {"32 bits a pixel", [](auto& b) { b[28] = 32; }},
        {"compressed", [](auto& b) { PutLe32(b, 30, 1); }},
        {"core header of 12 bytes", [](auto& b) { PutLe32(b, 14, 12); }},
        {"width 0", [](auto& b) { PutLe32(b, 18, 0); }},
        {"negative width", [](auto& b) { PutLe32(b, 18, static_cast<uint32_t>(-3)); }},
        {"height 0", [](auto& b) { PutLe32(b, 22, 0); }},
        {"height INT32_MIN", [](auto& b) { PutLe32(b, 22, 0x80000000u); }},
        {"wider than the bound", [](auto& b) { PutLe32(b, 18, CBmpFile::kMaxSide + 1); }},
        {"pixel offset inside the header", [](auto& b) { PutLe32(b, 10, 20); }},
        {"pixel offset past the end", [](auto& b) { PutLe32(b, 10, 1000); }},
        {"pixels cut short", [](auto& b) { b.pop_back(); }},
        {"header cut short", [](auto& b) { b.resize(53); }},
        {"empty", [](auto& b) { b.clear(); }},
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = Gradient(3, 2).Encode();
        c.change(bytes);
        EXPECT_FALSE(CBmpFile::Decode(bytes)) << c.what;
        testsupport::WriteFile(dir / "p.bmp", std::string(bytes.begin(), bytes.end()));
        EXPECT_FALSE(CBmpFile::Read(dir / "p.bmp")) << c.what;
    }
    EXPECT_FALSE(CBmpFile::Read(dir / "missing.bmp"));
}

TEST(BmpFileTest, SizeBounds) {
    EXPECT_TRUE(CBmpFile::SizeFits(1, 1));
    EXPECT_TRUE(CBmpFile::SizeFits(CBmpFile::kMaxSide, CBmpFile::kMaxSide));
    EXPECT_FALSE(CBmpFile::SizeFits(CBmpFile::kMaxSide + 1, 1));
    EXPECT_FALSE(CBmpFile::SizeFits(1, CBmpFile::kMaxSide + 1));
    EXPECT_FALSE(CBmpFile::SizeFits(0, 5));
    EXPECT_FALSE(CBmpFile::SizeFits(5, 0));
    EXPECT_FALSE(CBmpFile::SizeFits(uint64_t{1} << 32, 1));  // no narrowing to 32 bits first
    EXPECT_THROW(CBmpFile(0, 1), std::length_error);
    EXPECT_THROW(CBmpFile(1, CBmpFile::kMaxSide + 1), std::length_error);
}

TEST(BmpFileTest, WriteReplacesThePictureInOneStep) {
    TempDir dir;
    const CBmpFile before = Gradient(5, 4), after = Gradient(2, 2);
    ASSERT_TRUE(before.Write(dir / "p.bmp"));
    const std::string beforeBytes = testsupport::ReadFile(dir / "p.bmp");
    std::ifstream viewer(dir / "p.bmp", std::ios::binary);  // a viewer that opened the old picture

    ASSERT_TRUE(after.Write(dir / "p.bmp"));
    // The viewer still reads the whole old picture, and the name now gives the whole new one.
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(viewer), {}), beforeBytes);
    auto now = CBmpFile::Read(dir / "p.bmp");
    ASSERT_TRUE(now);
    EXPECT_EQ(*now, after);
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"p.bmp"});

    EXPECT_FALSE(after.Write(dir / "no-such-folder" / "p.bmp"));
}

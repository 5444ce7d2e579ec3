#include "engine/RipHead.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/RipFile.h"

namespace {

RipHead MakeHead(uint32_t byteperline, uint32_t height, uint32_t width, uint32_t color = 4) {
    RipHead h;
    h.signature = 0x12345678;
    h.xdpi = 720;
    h.ydpi = 1440;
    h.byteperline = byteperline;
    h.height = height;
    h.width = width;
    h.fpaperwidth = 99;
    h.color = color;
    h.bit = 77;
    h.reserved = {0xA1A2A3A4, 0xB1B2B3B4, 0xC1C2C3C4};
    return h;
}

}  // namespace

TEST(RipHeadTest, BytesAreLittleEndianInFieldOrder) {
    RipHead h = MakeHead(100, 2, 400);
    auto bytes = h.ToBytes();
    EXPECT_EQ(bytes[0], 0x78);
    EXPECT_EQ(bytes[3], 0x12);
    EXPECT_EQ(bytes[4], 720 & 0xFF);
    EXPECT_EQ(bytes[5], 720 >> 8);
    EXPECT_EQ(bytes[12], 100);
    EXPECT_EQ(bytes[44], 0xC4);
    EXPECT_EQ(bytes[47], 0xC1);
    EXPECT_EQ(RipHead::FromBytes(bytes), h);
}

TEST(RipHeadTest, FileDerivationTakesPlanesFromTheLength) {
    struct Case {
        const char* what;
        uint32_t byteperline, height, width, storedColor;
        uint64_t fileLength;
        HeadError error;
        uint32_t color, bit;
    } cases[] = {
        {"two planes whatever colour says", 100, 10, 400, 4, 48 + 2 * 100 * 10, HeadError::None, 2, 2},
        {"trailing bytes below one plane", 100, 10, 400, 4, 48 + 2 * 100 * 10 + 999, HeadError::None, 2, 2},
        {"one byte per pixel", 100, 10, 100, 0, 48 + 4 * 1000, HeadError::None, 4, 8},
        {"bit rounds down", 100, 1, 3, 1, 48 + 100, HeadError::None, 1, 266},
        {"shorter than the header", 100, 10, 400, 4, 47, HeadError::TooShort, 0, 0},
        {"width 0", 100, 10, 0, 4, 48 + 4000, HeadError::ZeroWidth, 0, 0},
        {"byteperline 0", 0, 10, 400, 4, 48 + 4000, HeadError::ZeroLineBytes, 0, 0},
        {"height 0", 100, 0, 400, 4, 48 + 4000, HeadError::ZeroLineBytes, 0, 0},
        {"no complete plane", 100, 10, 400, 4, 48 + 999, HeadError::ZeroPlanes, 0, 0},
        {"header only", 100, 10, 400, 4, 48, HeadError::ZeroPlanes, 0, 0},
        {"line beyond the bound", 1u << 20, 1, 8, 4, 48 + (300ull << 20), HeadError::LineTooLarge, 0, 0},
    };
    for (const Case& c : cases) {
        RipHead h = MakeHead(c.byteperline, c.height, c.width, c.storedColor);
        EXPECT_EQ(h.DeriveForFile(c.fileLength), c.error) << c.what;
        EXPECT_EQ(h.fpaperwidth, 0u) << c.what;
        if (c.error == HeadError::None) {
            EXPECT_EQ(h.color, c.color) << c.what;
            EXPECT_EQ(h.bit, c.bit) << c.what;
            EXPECT_EQ(h.reserved, MakeHead(1, 1, 1).reserved) << "reserved words pass through: " << c.what;
        }
    }
}

TEST(RipHeadTest, LargeValuesUse64BitArithmetic) {
    // byteperline × height overflows 32 bits; the file is above 4 GiB.
    RipHead h = MakeHead(100000, 100000, 800000);
    const uint64_t length = 48 + 3ull * 100000 * 100000 + 5;
    ASSERT_EQ(h.DeriveForFile(length), HeadError::None);
    EXPECT_EQ(h.color, 3u);
    EXPECT_EQ(h.bit, 1u);
    EXPECT_EQ(h.DataBytes(), 3ull * 100000 * 100000);
    // the largest line accepted
    RipHead wide = MakeHead(0x10000000, 1, 0x4000000, 1);
    ASSERT_EQ(wide.DeriveForStream(), HeadError::None);
    EXPECT_EQ(wide.bit, 32u);
}

TEST(RipHeadTest, StreamDerivationUsesLowColourByte) {
    struct Case {
        const char* what;
        uint32_t byteperline, height, width, color;
        HeadError error;
        uint32_t planes;
    } cases[] = {
        {"colour 0x104 is four planes", 100, 2, 400, 0x104, HeadError::None, 4},
        {"height 0 is an empty job", 100, 0, 400, 4, HeadError::None, 4},
        {"colour 0x100 is no plane", 100, 2, 400, 0x100, HeadError::ZeroPlanes, 0},
        {"byteperline 0", 0, 2, 400, 4, HeadError::ZeroLineBytes, 0},
        {"width 0", 100, 2, 0, 4, HeadError::ZeroWidth, 0},
        {"line beyond the bound", 0x2000000, 1, 8, 9, HeadError::LineTooLarge, 0},
    };
    for (const Case& c : cases) {
        RipHead h = MakeHead(c.byteperline, c.height, c.width, c.color);
        EXPECT_EQ(h.DeriveForStream(), c.error) << c.what;
        if (c.error == HeadError::None) {
            EXPECT_EQ(h.color, c.planes) << c.what;
        }
    }
    EXPECT_FALSE(HeadErrorText(HeadError::ZeroWidth).empty());
}

TEST(RipFileTest, ReadHeadFromFiles) {
    testsupport::TempDir dir;
    RipHead h = MakeHead(100, 2, 400, 9);
    auto bytes = h.ToBytes();
    std::string job(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    testsupport::WriteFile(dir / "job.prn", job + std::string(3 * 200, '\x01'));
    testsupport::WriteFile(dir / "short.prn", job.substr(0, 20));

    HeadReadResult ok = CRipFile::ReadHead(dir / "job.prn");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok.head.color, 3u);
    EXPECT_EQ(ok.head.bit, 2u);
    EXPECT_EQ(ok.fileLength, 48u + 600u);

    EXPECT_EQ(CRipFile::ReadHead(dir / "short.prn").error, HeadError::TooShort);
    EXPECT_EQ(CRipFile::ReadHead(dir / "missing.prn").error, HeadError::CannotOpen);
    EXPECT_EQ(CRipFile::ReadHead(dir.Path()).error, HeadError::CannotOpen);  // a folder
}

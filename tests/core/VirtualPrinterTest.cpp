// The virtual printer is tested the way Tessarin uses it: the built library is opened with dlopen through a
// link in a program directory of the test's own, beside the VirtualPrinter.ini the test wrote, and every
// result is read back from the files it leaves.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <strings.h>

#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PrinterDriver.h"
#include "TestSupport.h"
#include "engine/PreviewColor.h"
#include "engine/RipHead.h"
#include "shell/IniReader.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
using Clock = std::chrono::steady_clock;

const fs::path kBuiltDrivers = fs::path(TESSARIN_BINARY_DIR) / "drivers";

// A shared object opened with dlopen and closed again when it goes. Closing matters: glibc hands back the
// object already loaded for any path to the same file, so a library left open would carry one test's state
// and program directory into the next.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const fs::path& path) : m_handle(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (!m_handle) m_error = ::dlerror();
    }

    explicit operator bool() const { return m_handle != nullptr; }
    const std::string& Error() const { return m_error; }
    void* Symbol(const char* name) const { return ::dlsym(m_handle.get(), name); }

    template <class Fn>
    Fn Entry(const char* name) const {
        return reinterpret_cast<Fn>(Symbol(name));
    }

private:
    struct Closer {
        void operator()(void* handle) const { ::dlclose(handle); }
    };
    std::unique_ptr<void, Closer> m_handle;
    std::string m_error;
};

struct Driver {
    PFN_InitPrinter InitPrinter = nullptr;
    PFN_StartPrint StartPrint = nullptr;
    PFN_WriteRipData WriteRipData = nullptr;
    PFN_EndRipData EndRipData = nullptr;
    PFN_AbortPrint AbortPrint = nullptr;
    PFN_PausePrint PausePrint = nullptr;
    PFN_ResumePrint ResumePrint = nullptr;
    PFN_SkipLines SkipLines = nullptr;
    PFN_EndPrint EndPrint = nullptr;
    PFN_ChangeFeedingData ChangeFeedingData = nullptr;
    PFN_GetCurrentPass GetCurrentPass = nullptr;
    PFN_ChangeBidData ChangeBidData = nullptr;
    PFN_GetCurrentInkmode GetCurrentInkmode = nullptr;
};

constexpr std::array<const char*, 13> kDriverEntries = {
    "InitPrinter",    "StartPrint",    "WriteRipData",      "EndRipData", "AbortPrint",
    "PausePrint",     "ResumePrint",   "SkipLines",         "EndPrint",   "ChangeFeedingData",
    "GetCurrentPass", "ChangeBidData", "GetCurrentInkmode",
};

// A job in memory: its header and its line sets, each `color` plane rows of `byteperline` bytes.
struct Job {
    RipHead head;
    std::vector<std::string> lineSets;

    std::array<uint8_t, RipHead::kSize> Header() const { return head.ToBytes(); }
    std::string AllData() const {
        std::string all;
        for (const auto& l : lineSets) all += l;
        return all;
    }
};

using InkAt = std::function<uint8_t(uint32_t plane, uint32_t column, uint32_t line)>;

Job MakeJob(uint32_t bytePerLine, uint32_t planes, uint32_t lines, const InkAt& ink) {
    Job job;
    job.head.signature = 0x4A4F4221;
    job.head.xdpi = 720;
    job.head.ydpi = 1440;
    job.head.byteperline = bytePerLine;
    job.head.height = lines;
    job.head.width = bytePerLine;
    job.head.fpaperwidth = 1600;
    job.head.color = planes;
    job.head.bit = 8;
    job.head.reserved = {7, 8, 9};
    for (uint32_t y = 0; y < lines; ++y) {
        std::string lineSet;
        for (uint32_t p = 0; p < planes; ++p) {
            for (uint32_t x = 0; x < bytePerLine; ++x) lineSet += static_cast<char>(ink(p, x, y));
        }
        job.lineSets.push_back(std::move(lineSet));
    }
    return job;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string SessionName(int number) {
    char name[32];
    std::snprintf(name, sizeof name, "session-%04d", number);
    return name;
}

// ---- an independent reader of the proof images: bit-by-bit CRC, plain Adler-32, stored blocks only ----

uint32_t ReferenceCrc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

uint32_t ReferenceAdler32(const std::vector<uint8_t>& data) {
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;

    Rgb At(uint32_t x, uint32_t y) const {
        const size_t i = (size_t{y} * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// Inflates a zlib stream made only of stored blocks, checking every length and the Adler-32.
void InflateStored(const std::vector<uint8_t>& z, std::vector<uint8_t>& out) {
    ASSERT_GE(z.size(), 2u + 5u + 4u);
    EXPECT_EQ(z[0] & 0x0F, 8) << "compression method deflate";
    EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0) << "zlib header check bits";
    EXPECT_EQ(z[1] & 0x20, 0) << "no preset dictionary";
    size_t pos = 2;
    bool final = false;
    while (!final) {
        ASSERT_LE(pos + 5, z.size());
        final = (z[pos] & 1) != 0;
        ASSERT_EQ((z[pos] >> 1) & 3, 0) << "stored block expected at " << pos;
        const uint16_t len = static_cast<uint16_t>(z[pos + 1] | z[pos + 2] << 8);
        const uint16_t nlen = static_cast<uint16_t>(z[pos + 3] | z[pos + 4] << 8);
        ASSERT_EQ(len, static_cast<uint16_t>(~nlen)) << "block at " << pos;
        pos += 5;
        ASSERT_LE(pos + len, z.size());
        out.insert(out.end(), z.begin() + static_cast<ptrdiff_t>(pos),
                   z.begin() + static_cast<ptrdiff_t>(pos + len));
        pos += len;
    }
    ASSERT_EQ(pos + 4, z.size()) << "Adler-32 ends the stream";
    EXPECT_EQ(BigEndian32(&z[pos]), ReferenceAdler32(out));
}

void DecodePng(const std::string& file, Image& image) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
    const std::array<uint8_t, 8> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GE(file.size(), 8u);
    ASSERT_EQ(std::memcmp(bytes, signature.data(), 8), 0) << "PNG signature";

    std::vector<std::string> types;
    std::vector<uint8_t> idat;
    size_t pos = 8;
    while (pos < file.size()) {
        ASSERT_LE(pos + 12, file.size());
        const uint32_t length = BigEndian32(bytes + pos);
        ASSERT_LE(pos + 12 + length, file.size());
        const std::string type(file, pos + 4, 4);
        EXPECT_EQ(BigEndian32(bytes + pos + 8 + length), ReferenceCrc32(bytes + pos + 4, length + 4))
            << "CRC of " << type;
        const uint8_t* data = bytes + pos + 8;
        if (type == "IHDR") {
            ASSERT_EQ(length, 13u);
            image.width = BigEndian32(data);
            image.height = BigEndian32(data + 4);
            EXPECT_EQ(data[8], 8) << "bit depth";
            EXPECT_EQ(data[9], 2) << "truecolour";
            EXPECT_EQ(data[10], 0);
            EXPECT_EQ(data[11], 0);
            EXPECT_EQ(data[12], 0) << "not interlaced";
        } else if (type == "IDAT") {
            idat.insert(idat.end(), data, data + length);
        }
        types.push_back(type);
        pos += 12 + length;
    }
    ASSERT_GE(types.size(), 3u);
    EXPECT_EQ(types.front(), "IHDR");
    EXPECT_EQ(types.back(), "IEND");

    std::vector<uint8_t> raw;
    ASSERT_NO_FATAL_FAILURE(InflateStored(idat, raw));
    const size_t rowBytes = size_t{image.width} * 3;
    ASSERT_EQ(raw.size(), image.height * (rowBytes + 1));
    for (uint32_t y = 0; y < image.height; ++y) {
        const auto row = raw.begin() + static_cast<ptrdiff_t>(y * (rowBytes + 1));
        ASSERT_EQ(*row, 0) << "filter type of row " << y;
        image.rgb.insert(image.rgb.end(), row + 1, row + 1 + static_cast<ptrdiff_t>(rowBytes));
    }
}

// ---- the fixture: a program directory holding a link to the built library ----

class VirtualPrinterTest : public ::testing::Test {
protected:
    void WriteIni(const std::string& settings) const {
        WriteFile(m_dir / "VirtualPrinter.ini", "[VirtualPrinter]\n" + settings);
    }

    void Load() {
        fs::create_symlink(kBuiltDrivers / "VirtualPrinter.so", m_dir / "VirtualPrinter.so");
        m_library.emplace(m_dir / "VirtualPrinter.so");
        ASSERT_TRUE(*m_library) << m_library->Error() << " (build the VirtualPrinter target first)";
        d.InitPrinter = m_library->Entry<PFN_InitPrinter>("InitPrinter");
        d.StartPrint = m_library->Entry<PFN_StartPrint>("StartPrint");
        d.WriteRipData = m_library->Entry<PFN_WriteRipData>("WriteRipData");
        d.EndRipData = m_library->Entry<PFN_EndRipData>("EndRipData");
        d.AbortPrint = m_library->Entry<PFN_AbortPrint>("AbortPrint");
        d.PausePrint = m_library->Entry<PFN_PausePrint>("PausePrint");
        d.ResumePrint = m_library->Entry<PFN_ResumePrint>("ResumePrint");
        d.SkipLines = m_library->Entry<PFN_SkipLines>("SkipLines");
        d.EndPrint = m_library->Entry<PFN_EndPrint>("EndPrint");
        d.ChangeFeedingData = m_library->Entry<PFN_ChangeFeedingData>("ChangeFeedingData");
        d.GetCurrentPass = m_library->Entry<PFN_GetCurrentPass>("GetCurrentPass");
        d.ChangeBidData = m_library->Entry<PFN_ChangeBidData>("ChangeBidData");
        d.GetCurrentInkmode = m_library->Entry<PFN_GetCurrentInkmode>("GetCurrentInkmode");
        for (const char* name : kDriverEntries) ASSERT_NE(m_library->Symbol(name), nullptr) << name;
        // Everything below relies on the library seeing the link it was loaded by as its location.
        Dl_info info{};
        ASSERT_NE(::dladdr(reinterpret_cast<const void*>(d.InitPrinter), &info), 0);
        ASSERT_EQ(fs::path(info.dli_fname), m_dir / "VirtualPrinter.so")
            << "a stale copy of the library is loaded";
    }

    void Unload() { m_library.reset(); }

    fs::path Output() const { return m_dir / "VirtualPrinterOutput"; }
    fs::path Session(int number) const { return Output() / SessionName(number); }

    static std::vector<std::string> CallsLog(const fs::path& session) {
        return Lines(ReadFile(session / "calls.log"));
    }
    static int SummaryInt(const fs::path& session, const char* key) {
        return CIniReader(session / "summary.ini").ReadInt("Session", key, -1);
    }
    static std::string SummaryString(const fs::path& session, const char* key) {
        return CIniReader(session / "summary.ini").ReadString("Session", key, "<missing>");
    }

    // Init, StartPrint, every line set, EndRipData; each step must succeed.
    void Print(const Job& job) const {
        ASSERT_EQ(d.InitPrinter(1), 1);
        ASSERT_EQ(d.StartPrint(job.Header().data(), 0), 1);
        for (const auto& lineSet : job.lineSets) {
            const auto count = static_cast<int32_t>(lineSet.size());
            ASSERT_EQ(d.WriteRipData(lineSet.data(), count), count);
        }
        ASSERT_EQ(d.EndRipData(), 1);
    }

    TempDir m_dir;
    std::optional<LoadedLibrary> m_library;
    Driver d;
};

// Ink of the reference job: column 0 black only, 1 cyan only, 2 magenta only, 3 yellow only, 4 none,
// 5 a mix that changes from line to line.
uint8_t ReferenceInk(uint32_t plane, uint32_t column, uint32_t line) {
    if (column < 4) return plane == column ? 255 : 0;
    if (column == 4) return 0;
    return static_cast<uint8_t>(30 + 40 * plane + 50 * line);
}

TEST_F(VirtualPrinterTest, WholeSessionLeavesTheExactBytesAFoldedLogASummaryAndAProof) {
    Load();
    const Job job = MakeJob(6, 4, 3, ReferenceInk);
    const auto write = [&](int line) { return d.WriteRipData(job.lineSets[line].data(), 24); };

    EXPECT_EQ(d.InitPrinter(1), 1);
    EXPECT_EQ(d.StartPrint(job.Header().data(), 0), 1);
    EXPECT_EQ(write(0), 24);
    EXPECT_EQ(write(1), 24);
    EXPECT_EQ(d.PausePrint(), 1);
    EXPECT_EQ(d.ResumePrint(), 1);
    EXPECT_EQ(write(2), 24);
    EXPECT_EQ(d.ChangeFeedingData(-2), 1);
    EXPECT_EQ(d.GetCurrentPass(), 4);
    EXPECT_EQ(d.ChangeBidData(3), 1);
    EXPECT_EQ(d.GetCurrentInkmode(), 0);
    EXPECT_EQ(d.EndRipData(), 1);

    const fs::path session = Session(1);
    const auto header = job.Header();
    EXPECT_EQ(ReadFile(session / "header.bin"), std::string(header.begin(), header.end()));
    EXPECT_EQ(ReadFile(session / "data.bin"), job.AllData());
    EXPECT_EQ(CallsLog(session), (std::vector<std::string>{
                                     "InitPrinter(1) = 1",
                                     "StartPrint(header, 0) = 1",
                                     "WriteRipData(24) = 24 x 2",
                                     "PausePrint() = 1",
                                     "ResumePrint() = 1",
                                     "WriteRipData(24) = 24",
                                     "ChangeFeedingData(-2) = 1",
                                     "GetCurrentPass() = 4",
                                     "ChangeBidData(3) = 1",
                                     "GetCurrentInkmode() = 0",
                                     "EndRipData() = 1",
                                 }));
    EXPECT_EQ(SummaryInt(session, "Lines"), 3);
    EXPECT_EQ(SummaryInt(session, "Bytes"), 72);
    EXPECT_EQ(SummaryString(session, "End"), "EndRipData");
    EXPECT_EQ(SummaryInt(session, "Width"), 6);
    EXPECT_EQ(SummaryInt(session, "Height"), 3);
    EXPECT_EQ(SummaryInt(session, "Planes"), 4);
    EXPECT_EQ(SummaryInt(session, "BytePerLine"), 6);
    EXPECT_FALSE(fs::exists(Output() / "outside.log"));

    Image proof;
    ASSERT_NO_FATAL_FAILURE(DecodePng(ReadFile(session / "proof.png"), proof));
    ASSERT_EQ(proof.width, 6u);
    ASSERT_EQ(proof.height, 3u);
    EXPECT_EQ(proof.At(0, 0), (Rgb{0, 0, 0})) << "black plane";
    EXPECT_EQ(proof.At(1, 0), (Rgb{0, 255, 255})) << "cyan plane";
    EXPECT_EQ(proof.At(2, 1), (Rgb{255, 0, 255})) << "magenta plane";
    EXPECT_EQ(proof.At(3, 2), (Rgb{255, 255, 0})) << "yellow plane";
    EXPECT_EQ(proof.At(4, 2), (Rgb{255, 255, 255})) << "no ink";
    for (uint32_t y = 0; y < 3; ++y) {
        EXPECT_EQ(proof.At(5, y), PreviewPixel(ReferenceInk(1, 5, y), ReferenceInk(2, 5, y),
                                               ReferenceInk(3, 5, y), ReferenceInk(0, 5, y)))
            << "line " << y;
    }
}

TEST_F(VirtualPrinterTest, ProofTakesEveryStepthByteToFitTwoThousandPixels) {
    struct Case {
        uint32_t bytePerLine, planes, lines;
        uint32_t width, height, step;
    } cases[] = {
        {2000, 1, 40, 2000, 40, 1},      // at the limit, and large enough for several stored blocks
        {4500, 1, 10, 1500, 4, 3},       // too wide: the width sets the step
        {3, 2, 4001, 1, 1334, 3},        // too long: the height sets the step
        {2001, 3, 2001, 1001, 1001, 2},  // both just over
        {10, 6, 5, 10, 5, 1},            // planes past the fourth are not drawn
    };
    Load();
    int session = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.bytePerLine << " bytes x " << c.planes << " planes x " << c.lines);
        const InkAt ink = [](uint32_t p, uint32_t x, uint32_t y) {
            return static_cast<uint8_t>(x * 7 + y * 13 + p * 50);
        };
        ASSERT_NO_FATAL_FAILURE(Print(MakeJob(c.bytePerLine, c.planes, c.lines, ink)));
        Image proof;
        ASSERT_NO_FATAL_FAILURE(DecodePng(ReadFile(Session(++session) / "proof.png"), proof));
        ASSERT_EQ(proof.width, c.width);
        ASSERT_EQ(proof.height, c.height);
        for (uint32_t y = 0; y < proof.height; ++y) {
            for (uint32_t x = 0; x < proof.width; ++x) {
                std::array<int, 4> planes{};  // black, cyan, magenta, yellow; missing planes carry no ink
                for (uint32_t p = 0; p < std::min(c.planes, 4u); ++p)
                    planes[p] = ink(p, x * c.step, y * c.step);
                const Rgb expected = PreviewPixel(planes[1], planes[2], planes[3], planes[0]);
                ASSERT_EQ(proof.At(x, y), expected) << "pixel " << x << "," << y;
            }
        }
    }
}

TEST_F(VirtualPrinterTest, SessionNumbersContinueAfterTheHighestSessionFolder) {
    struct Case {
        std::vector<std::string> folders, files;
        std::string expected, next;
    } cases[] = {
        {{}, {}, "session-0001", "session-0002"},
        {{"session-0007", "session-0012", "session-abc", "session-12x", "other-0100"},
         {"session-0500"},
         "session-0013",
         "session-0014"},
        {{"session-9999"}, {}, "session-10000", "session-10001"},
        {{"session-10000", "session-0003"}, {}, "session-10001", "session-10002"},
    };
    Load();
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const fs::path output = m_dir / ("out" + std::to_string(index++));
        for (const auto& f : c.folders) fs::create_directories(output / f);
        for (const auto& f : c.files) WriteFile(output / f, "not a session");
        WriteIni("OutputFolder=" + output.string() + "\n");

        ASSERT_EQ(d.InitPrinter(1), 1);
        ASSERT_EQ(d.AbortPrint(), 1);
        EXPECT_EQ(SummaryString(output / c.expected, "End"), "AbortPrint");
        ASSERT_EQ(d.InitPrinter(1), 1) << "and the one after";
        ASSERT_EQ(d.EndRipData(), 1);
        EXPECT_TRUE(fs::exists(output / c.next / "summary.ini")) << c.next;
    }
}

TEST_F(VirtualPrinterTest, OutputFolderIsResolvedAgainstTheLibrarysFolder) {
    TempDir elsewhere;
    struct Case {
        std::optional<std::string> ini;  // no file at all when empty
        fs::path expected;
    } cases[] = {
        {std::nullopt, m_dir / "VirtualPrinterOutput"},
        {"", m_dir / "VirtualPrinterOutput"},
        {"OutputFolder=\n", m_dir / "VirtualPrinterOutput"},
        {"OutputFolder=relative/out\n", m_dir / "relative/out"},
        {"OutputFolder=" + (elsewhere / "abs").string() + "\n", elsewhere / "abs"},
    };
    Load();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        fs::remove(m_dir / "VirtualPrinter.ini");
        if (c.ini) WriteIni(*c.ini);
        ASSERT_EQ(d.InitPrinter(1), 1);
        ASSERT_EQ(d.EndRipData(), 1);
        EXPECT_TRUE(fs::exists(c.expected / "session-0001" / "summary.ini"));
        fs::remove_all(c.expected);
    }
}

TEST_F(VirtualPrinterTest, WithoutKeepDataLineSetsAreCountedButNotStored) {
    WriteIni("KeepData=0\n");
    Load();
    const Job job = MakeJob(8, 3, 5, [](uint32_t p, uint32_t x, uint32_t y) { return uint8_t(p + x + y); });
    ASSERT_NO_FATAL_FAILURE(Print(job));

    const fs::path session = Session(1);
    EXPECT_FALSE(fs::exists(session / "data.bin"));
    EXPECT_FALSE(fs::exists(session / "proof.png"));
    EXPECT_EQ(ReadFile(session / "header.bin").size(), RipHead::kSize);
    EXPECT_EQ(SummaryInt(session, "Lines"), 5);
    EXPECT_EQ(SummaryInt(session, "Bytes"), 5 * 24);
    EXPECT_EQ(CallsLog(session), (std::vector<std::string>{"InitPrinter(1) = 1", "StartPrint(header, 0) = 1",
                                                           "WriteRipData(24) = 24 x 5", "EndRipData() = 1"}));
}

// data.bin is written through a 1 MiB buffer: pieces that fill it exactly, overflow it or exceed it alone
// must all arrive whole and in order.
TEST_F(VirtualPrinterTest, LineSetsOfAnySizeReachDataBinInOrder) {
    constexpr int32_t kMiB = 1 << 20;
    Load();
    const Job job = MakeJob(1000, 1, 1, [](uint32_t, uint32_t, uint32_t) { return uint8_t{0}; });
    ASSERT_EQ(d.InitPrinter(1), 1);
    ASSERT_EQ(d.StartPrint(job.Header().data(), 0), 1);
    std::string expected;
    char fill = 'a';
    for (int32_t size : {100, kMiB - 100, 3, kMiB + 5, kMiB / 2, kMiB / 2 + 1, 3 * kMiB, 7}) {
        const std::string lineSet(static_cast<size_t>(size), fill++);
        ASSERT_EQ(d.WriteRipData(lineSet.data(), size), size);
        expected += lineSet;
    }
    ASSERT_EQ(d.EndRipData(), 1);
    EXPECT_TRUE(ReadFile(Session(1) / "data.bin") == expected) << "data.bin differs";
    EXPECT_EQ(SummaryInt(Session(1), "Bytes"), static_cast<int>(expected.size()));
}

// Drives one session through every entry that takes part in a job, each at least twice, and checks that
// exactly the configured call fails, with the configured result, and leaves no trace of its work.
TEST_F(VirtualPrinterTest, TheChosenCallOfAnEntryFailsWithTheConfiguredResult) {
    struct Step {
        std::string entry;
        std::string logged;  // the call as calls.log shows it
        std::function<int32_t()> call;
        int32_t normal;
    };
    const std::array<std::string, 3> lineSets = {"aaaa", "bbbb", "cccc"};
    const auto writer = [&](int i) {
        return [this, &lineSets, i] { return d.WriteRipData(lineSets[i].data(), 4); };
    };
    const std::vector<Step> steps = {
        {"WriteRipData", "WriteRipData(4)", writer(0), 4},
        {"WriteRipData", "WriteRipData(4)", writer(1), 4},
        {"PausePrint", "PausePrint()", [this] { return d.PausePrint(); }, 1},
        {"ResumePrint", "ResumePrint()", [this] { return d.ResumePrint(); }, 1},
        {"PausePrint", "PausePrint()", [this] { return d.PausePrint(); }, 1},
        {"ResumePrint", "ResumePrint()", [this] { return d.ResumePrint(); }, 1},
        {"ChangeFeedingData", "ChangeFeedingData(5)", [this] { return d.ChangeFeedingData(5); }, 1},
        {"ChangeFeedingData", "ChangeFeedingData(-6)", [this] { return d.ChangeFeedingData(-6); }, 1},
        {"GetCurrentPass", "GetCurrentPass()", [this] { return d.GetCurrentPass(); }, 4},
        {"GetCurrentPass", "GetCurrentPass()", [this] { return d.GetCurrentPass(); }, 4},
        {"ChangeBidData", "ChangeBidData(1)", [this] { return d.ChangeBidData(1); }, 1},
        {"ChangeBidData", "ChangeBidData(2)", [this] { return d.ChangeBidData(2); }, 1},
        {"GetCurrentInkmode", "GetCurrentInkmode()", [this] { return d.GetCurrentInkmode(); }, 0},
        {"GetCurrentInkmode", "GetCurrentInkmode()", [this] { return d.GetCurrentInkmode(); }, 0},
        {"SkipLines", "SkipLines()", [this] { return d.SkipLines(); }, 1},
        {"SkipLines", "SkipLines()", [this] { return d.SkipLines(); }, 1},
        {"EndPrint", "EndPrint()", [this] { return d.EndPrint(); }, 1},
        {"EndPrint", "EndPrint()", [this] { return d.EndPrint(); }, 1},
        {"WriteRipData", "WriteRipData(4)", writer(2), 4},
    };
    struct Case {
        std::string entry;
        int atCall;
        int failedLineSet;  // -1: every line set is stored
    } cases[] = {
        {"WriteRipData", 1, 0},    {"WriteRipData", 3, 2},       {"PausePrint", 2, -1},
        {"ResumePrint", 1, -1},    {"ChangeFeedingData", 2, -1}, {"GetCurrentPass", 1, -1},
        {"ChangeBidData", 2, -1},  {"GetCurrentInkmode", 2, -1}, {"SkipLines", 1, -1},
        {"EndPrint", 2, -1},       {"EndRipData", 1, -1},        {"AbortPrint", 1, -1},
        {"getcurrentpass", 2, -1},  // the name is matched without regard to case
    };
    Load();
    const Job job = MakeJob(4, 1, 3, [](uint32_t, uint32_t, uint32_t) { return uint8_t{0}; });
    int session = 0;
    for (const Case& c : cases) {
        for (int32_t failResult : {0, -1}) {
            SCOPED_TRACE(testing::Message() << c.entry << " call " << c.atCall << " -> " << failResult);
            WriteIni("FailEntry=" + c.entry + "\nFailAtCall=" + std::to_string(c.atCall) +
                     "\nFailResult=" + std::to_string(failResult) + "\n");
            ASSERT_EQ(d.InitPrinter(1), 1);
            ASSERT_EQ(d.StartPrint(job.Header().data(), 0), 1);

            auto isFailing = [&](const std::string& entry) {
                return strcasecmp(entry.c_str(), c.entry.c_str()) == 0;
            };
            std::map<std::string, int> calls;
            std::string failedCall;
            for (const Step& step : steps) {
                const bool fails = ++calls[step.entry] == c.atCall && isFailing(step.entry);
                EXPECT_EQ(step.call(), fails ? failResult : step.normal) << step.logged;
                if (fails) failedCall = step.logged;
            }
            const bool endFails = isFailing("EndRipData") || isFailing("AbortPrint");
            const std::string endName = isFailing("AbortPrint") ? "AbortPrint" : "EndRipData";
            const PFN_EndRipData end = endName == "AbortPrint" ? d.AbortPrint : d.EndRipData;
            if (endFails) {
                EXPECT_EQ(end(), failResult) << "the session stays open";
                failedCall = endName + "()";
            }
            EXPECT_EQ(end(), 1);

            const fs::path folder = Session(++session);
            std::vector<std::string> failures;
            for (const auto& line : CallsLog(folder)) {
                if (line.find("injected failure") != std::string::npos) failures.push_back(line);
            }
            EXPECT_EQ(failures, std::vector<std::string>{failedCall + " = " + std::to_string(failResult) +
                                                         " (injected failure)"});
            std::string stored;
            for (int i = 0; i < 3; ++i) {
                if (i != c.failedLineSet) stored += lineSets[i];
            }
            EXPECT_EQ(ReadFile(folder / "data.bin"), stored);
            EXPECT_EQ(SummaryInt(folder, "Lines"), c.failedLineSet < 0 ? 3 : 2);
            EXPECT_EQ(SummaryString(folder, "End"), endName);
        }
    }
}

TEST_F(VirtualPrinterTest, AFailingInitPrinterOrStartPrintLeavesNoJobToPrint) {
    const Job job = MakeJob(4, 1, 1, [](uint32_t, uint32_t, uint32_t) { return uint8_t{9}; });
    Load();
    int session = 0;
    for (int32_t failResult : {0, -1}) {
        SCOPED_TRACE(failResult);
        WriteIni("FailEntry=InitPrinter\nFailResult=" + std::to_string(failResult) + "\n");
        EXPECT_EQ(d.InitPrinter(1), failResult);
        const fs::path failedInit = Session(++session);
        EXPECT_EQ(CallsLog(failedInit),
                  std::vector<std::string>{"InitPrinter(1) = " + std::to_string(failResult) +
                                           " (injected failure)"});
        EXPECT_EQ(SummaryString(failedInit, "End"), "InitPrinter");
        EXPECT_EQ(d.StartPrint(job.Header().data(), 0), 0) << "no session to start a job in";
        EXPECT_FALSE(fs::exists(failedInit / "header.bin"));

        WriteIni("FailEntry=StartPrint\nFailResult=" + std::to_string(failResult) + "\n");
        EXPECT_EQ(d.InitPrinter(1), 1);
        EXPECT_EQ(d.StartPrint(job.Header().data(), 0), failResult);
        EXPECT_EQ(d.WriteRipData(job.lineSets[0].data(), 4), 0) << "no job to print into";
        EXPECT_EQ(d.EndRipData(), 1);
        const fs::path failedStart = Session(++session);
        EXPECT_FALSE(fs::exists(failedStart / "header.bin"));
        EXPECT_FALSE(fs::exists(failedStart / "data.bin"));
        EXPECT_EQ(SummaryInt(failedStart, "Lines"), 0);
        EXPECT_EQ(CallsLog(failedStart),
                  (std::vector<std::string>{
                      "InitPrinter(1) = 1",
                      "StartPrint(header, 0) = " + std::to_string(failResult) + " (injected failure)",
                      "EndRipData() = 1"}));
    }
    EXPECT_EQ(Lines(ReadFile(Output() / "outside.log")),
              (std::vector<std::string>{"StartPrint(header, 0) = 0", "WriteRipData(4) = 0",
                                        "StartPrint(header, 0) = 0", "WriteRipData(4) = 0"}));
}

TEST_F(VirtualPrinterTest, FailSessionLimitsTheFailureToOneSession) {
    WriteIni("FailEntry=WriteRipData\nFailAtCall=1\nFailResult=-1\nFailSession=2\n");
    Load();
    const std::string lineSet = "line";
    for (int session = 1; session <= 3; ++session) {
        SCOPED_TRACE(session);
        const Job job = MakeJob(4, 1, 1, [](uint32_t, uint32_t, uint32_t) { return uint8_t{1}; });
        ASSERT_EQ(d.InitPrinter(1), 1);
        ASSERT_EQ(d.StartPrint(job.Header().data(), 0), 1);
        EXPECT_EQ(d.WriteRipData(lineSet.data(), 4), session == 2 ? -1 : 4);
        EXPECT_EQ(d.WriteRipData(lineSet.data(), 4), 4) << "only the first call fails";
        ASSERT_EQ(d.EndRipData(), 1);
        EXPECT_EQ(SummaryInt(Session(session), "Lines"), session == 2 ? 1 : 2);
    }
}

TEST_F(VirtualPrinterTest, CallsOutsideASessionAreAnsweredAndLoggedApart) {
    WriteIni("PassCount=6\nInkMode=2\n");
    Load();
    const Job job = MakeJob(4, 1, 1, [](uint32_t, uint32_t, uint32_t) { return uint8_t{3}; });
    const char* data = job.lineSets[0].data();

    EXPECT_EQ(d.WriteRipData(data, 4), 0);
    EXPECT_EQ(d.StartPrint(job.Header().data(), 0), 0);
    EXPECT_EQ(d.PausePrint(), 0);
    EXPECT_EQ(d.ResumePrint(), 0);
    EXPECT_EQ(d.EndRipData(), 0);
    EXPECT_EQ(d.AbortPrint(), 0);
    EXPECT_EQ(d.ChangeFeedingData(-2), 1);
    EXPECT_EQ(d.ChangeBidData(3), 1);
    EXPECT_EQ(d.GetCurrentPass(), 6);
    EXPECT_EQ(d.GetCurrentInkmode(), 2);
    EXPECT_EQ(d.SkipLines(), 1);
    EXPECT_EQ(d.EndPrint(), 1);
    EXPECT_FALSE(fs::exists(Session(1))) << "no call outside opens a session";

    EXPECT_EQ(d.InitPrinter(1), 1);
    EXPECT_EQ(d.WriteRipData(data, 4), 0) << "before StartPrint";
    EXPECT_EQ(d.PausePrint(), 0) << "before StartPrint";
    EXPECT_EQ(d.StartPrint(job.Header().data(), 0), 1);
    EXPECT_EQ(d.WriteRipData(data, 4), 4);
    EXPECT_EQ(d.EndRipData(), 1);
    EXPECT_EQ(d.ChangeFeedingData(7), 1) << "between jobs";
    EXPECT_EQ(d.GetCurrentPass(), 6) << "between jobs";

    EXPECT_EQ(
        Lines(ReadFile(Output() / "outside.log")),
        (std::vector<std::string>{
            "WriteRipData(4) = 0", "StartPrint(header, 0) = 0", "PausePrint() = 0", "ResumePrint() = 0",
            "EndRipData() = 0", "AbortPrint() = 0", "ChangeFeedingData(-2) = 1", "ChangeBidData(3) = 1",
            "GetCurrentPass() = 6", "GetCurrentInkmode() = 2", "SkipLines() = 1", "EndPrint() = 1",
            "WriteRipData(4) = 0", "PausePrint() = 0", "ChangeFeedingData(7) = 1", "GetCurrentPass() = 6"}));
    EXPECT_EQ(CallsLog(Session(1)),
              (std::vector<std::string>{"InitPrinter(1) = 1", "StartPrint(header, 0) = 1",
                                        "WriteRipData(4) = 4", "EndRipData() = 1"}));
}

TEST_F(VirtualPrinterTest, MalformedCallsAreRefusedAndTheJobGoesOn) {
    Load();
    const Job job = MakeJob(4, 1, 2, [](uint32_t, uint32_t x, uint32_t y) { return uint8_t('a' + x + y); });
    EXPECT_EQ(d.WriteRipData(nullptr, 4), -1) << "outside a session too";

    EXPECT_EQ(d.InitPrinter(1), 1);
    EXPECT_EQ(d.StartPrint(nullptr, 0), -1);
    EXPECT_EQ(d.StartPrint(job.Header().data(), 0), 1);
    EXPECT_EQ(d.WriteRipData(job.lineSets[0].data(), 4), 4);
    EXPECT_EQ(d.WriteRipData(nullptr, 4), -1);
    EXPECT_EQ(d.WriteRipData(job.lineSets[1].data(), -4), -1);
    EXPECT_EQ(d.WriteRipData(job.lineSets[1].data(), 4), 4);
    EXPECT_EQ(d.StartPrint(job.Header().data(), 0), 0) << "a job is already started";
    EXPECT_EQ(d.EndRipData(), 1);

    EXPECT_EQ(ReadFile(Session(1) / "data.bin"), job.AllData());
    EXPECT_EQ(SummaryInt(Session(1), "Lines"), 2);
    EXPECT_EQ(CallsLog(Session(1)),
              (std::vector<std::string>{
                  "InitPrinter(1) = 1", "StartPrint(null, 0) = -1 (null header)", "StartPrint(header, 0) = 1",
                  "WriteRipData(4) = 4", "WriteRipData(4) = -1 (null data)",
                  "WriteRipData(-4) = -1 (negative count)", "WriteRipData(4) = 4",
                  "StartPrint(header, 0) = 0 (job already started)", "EndRipData() = 1"}));
    EXPECT_EQ(Lines(ReadFile(Output() / "outside.log")),
              std::vector<std::string>{"WriteRipData(4) = -1 (null data)"});
}

TEST_F(VirtualPrinterTest, ASessionLeftOpenIsClosedByTheNextInitOrByUnloading) {
    Load();
    const Job job = MakeJob(4, 2, 2, [](uint32_t p, uint32_t, uint32_t) { return uint8_t(p * 200); });
    ASSERT_EQ(d.InitPrinter(1), 1);
    ASSERT_EQ(d.StartPrint(job.Header().data(), 0), 1);
    ASSERT_EQ(d.WriteRipData(job.lineSets[0].data(), 8), 8);

    ASSERT_EQ(d.InitPrinter(1), 1);
    EXPECT_EQ(CallsLog(Session(1)).back(), "session abandoned");
    EXPECT_EQ(SummaryString(Session(1), "End"), "Abandoned");
    EXPECT_EQ(SummaryInt(Session(1), "Lines"), 1);
    EXPECT_TRUE(fs::exists(Session(1) / "proof.png"));

    ASSERT_EQ(d.StartPrint(job.Header().data(), 0), 1);
    ASSERT_EQ(d.WriteRipData(job.lineSets[0].data(), 8), 8);
    ASSERT_EQ(d.WriteRipData(job.lineSets[1].data(), 8), 8);
    Unload();
    EXPECT_EQ(
        CallsLog(Session(2)),
        (std::vector<std::string>{"InitPrinter(1) = 1", "StartPrint(header, 0) = 1",
                                  "WriteRipData(8) = 8 x 2", "library unloaded with the session open"}));
    EXPECT_EQ(ReadFile(Session(2) / "data.bin"), job.AllData()) << "the buffered line sets reach the file";
}

TEST_F(VirtualPrinterTest, LinesPerSecondSlowsTheWritesDown) {
    WriteIni("LinesPerSecond=100\nKeepData=0\n");
    Load();
    const Job job = MakeJob(4, 1, 20, [](uint32_t, uint32_t, uint32_t) { return uint8_t{0}; });
    const auto start = Clock::now();
    ASSERT_NO_FATAL_FAILURE(Print(job));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150)) << "20 lines at 100 lines/s";
}

TEST_F(VirtualPrinterTest, HoldInitMsDelaysInitPrinter) {
    WriteIni("HoldInitMs=200\n");
    Load();
    const auto start = Clock::now();
    EXPECT_EQ(d.InitPrinter(1), 1);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_EQ(d.AbortPrint(), 1);
}

TEST_F(VirtualPrinterTest, AnOutputFolderThatCannotBeMadeFailsInitPrinter) {
    WriteFile(m_dir / "blocker", "a file where the folder should be");
    WriteIni("OutputFolder=blocker/out\n");
    Load();
    testing::internal::CaptureStderr();
    const int32_t result = d.InitPrinter(1);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_NE(errors.find((m_dir / "blocker" / "out").string()), std::string::npos) << errors;
    EXPECT_EQ(
        d.StartPrint(
            MakeJob(1, 1, 1, [](uint32_t, uint32_t, uint32_t) { return uint8_t{0}; }).Header().data(), 0),
        0);
}

TEST_F(VirtualPrinterTest, ExportsTheDriverEntriesAndNothingOfTheCore) {
    Load();
    for (const char* hidden : {"SettingDialog", "_Z5TracePKcz",
                               "_ZN8platform11DebugOutputESt17basic_string_viewIcSt11char_traitsIcEE",
                               "_ZN10CIniReaderC1ENSt10filesystem7__cxx114pathE"}) {
        EXPECT_EQ(m_library->Symbol(hidden), nullptr) << hidden;
    }
}

// Tessarin never calls from two threads at once, but a caller that does must not break the library: each
// accepted line set is still counted exactly once, in the session that took it.
TEST_F(VirtualPrinterTest, CallsFromManyThreadsKeepTheCountsWhole) {
    Load();
    const Job job = MakeJob(16, 1, 1, [](uint32_t, uint32_t x, uint32_t) { return uint8_t(x); });
    std::atomic<int64_t> accepted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                d.InitPrinter(1);
                d.StartPrint(job.Header().data(), 0);
                for (int i = 0; i < 8; ++i) {
                    if (d.WriteRipData(job.lineSets[0].data(), 16) > 0) ++accepted;
                }
                d.GetCurrentPass();
                (round + t) % 2 ? d.AbortPrint() : d.EndRipData();
            }
        });
    }
    for (auto& thread : threads) thread.join();

    int64_t lines = 0;
    uintmax_t dataBytes = 0;
    int sessions = 0;
    for (const auto& entry : fs::directory_iterator(Output())) {
        if (!entry.is_directory()) continue;
        ++sessions;
        ASSERT_TRUE(fs::exists(entry.path() / "summary.ini")) << entry.path();
        lines += SummaryInt(entry.path(), "Lines");
        if (fs::exists(entry.path() / "data.bin")) dataBytes += fs::file_size(entry.path() / "data.bin");
    }
    EXPECT_EQ(sessions, 80);
    EXPECT_EQ(lines, accepted.load());
    EXPECT_EQ(dataBytes, static_cast<uintmax_t>(accepted.load()) * 16);
}

TEST(VirtualPrinterSettingTest, SettingDialogAnswersOneAndRecordsEachCall) {
    TempDir dir;
    WriteFile(dir / "VirtualPrinter.ini", "[VirtualPrinter]\nOutputFolder=out\n");
    fs::create_symlink(kBuiltDrivers / "VirtualPrinterSetting.so", dir / "VirtualPrinterSetting.so");
    LoadedLibrary library(dir / "VirtualPrinterSetting.so");
    ASSERT_TRUE(library) << library.Error() << " (build the VirtualPrinterSetting target first)";
    auto settingDialog = library.Entry<PFN_SettingDialog>("SettingDialog");
    ASSERT_NE(settingDialog, nullptr);

    int parent = 0;
    EXPECT_EQ(settingDialog(nullptr), 1);
    EXPECT_EQ(settingDialog(&parent), 1);

    const auto lines = Lines(ReadFile(dir / "out" / "settings.log"));
    ASSERT_EQ(lines.size(), 2u);
    // '9' stands for any digit of the local time.
    const std::string pattern = "9999-99-99 99:99:99 SettingDialog() = 1";
    for (const auto& line : lines) {
        bool matches = line.size() == pattern.size();
        for (size_t i = 0; matches && i < line.size(); ++i) {
            matches = pattern[i] == '9' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                        : pattern[i] == line[i];
        }
        EXPECT_TRUE(matches) << line;
    }
}

}  // namespace

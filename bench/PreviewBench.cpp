// Makes the preview of a large generated job (10,000 pixels x 20,000 lines x 4 planes, one byte a pixel:
// 800 MB) for a view 1,000 pixels wide, and compares it with reading the whole job once. Both run from a
// warm page cache: whether the job's pages are cached cannot be controlled here, so only warm figures are
// reported, which is also how a folder of jobs just written by the RIP is previewed.
//
//   bench_preview [--dir DIR] [--keep]   (default DIR: the build folder, else the temporary folder)

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "engine/RipFile.h"

namespace {

constexpr uint32_t kWidth = 10000, kHeight = 20000, kPlanes = 4;
constexpr int kViewWidth = 1000;
constexpr int kRuns = 5;

std::filesystem::path DefaultDir() {
#ifdef TESSARIN_BINARY_DIR
    return std::filesystem::path(TESSARIN_BINARY_DIR) / "bench-preview";
#else
    return std::filesystem::temp_directory_path() / "tessarin-bench-preview";
#endif
}

RipHead JobHead() {
    RipHead head;
    head.signature = 0x50524E31;
    head.xdpi = head.ydpi = 720;
    head.byteperline = kWidth;
    head.height = kHeight;
    head.width = kWidth;
    head.color = kPlanes;
    head.bit = 8;
    return head;
}

// The job maker's ramp (x + line + 37 × plane) repeats every 256 lines: one block, written over and over.
bool WriteJobOurselves(const std::filesystem::path& job) {
    const uint64_t lineBytes = uint64_t{kWidth} * kPlanes;
    std::vector<char> block(256 * lineBytes);
    for (uint64_t n = 0; n < 256; ++n)
        for (uint32_t p = 0; p < kPlanes; ++p)
            for (uint64_t x = 0; x < kWidth; ++x)
                block[n * lineBytes + p * kWidth + x] = static_cast<char>(x + n + 37u * p);
    std::ofstream out(job, std::ios::binary | std::ios::trunc);
    const auto head = JobHead().ToBytes();
    out.write(reinterpret_cast<const char*>(head.data()), head.size());
    for (uint64_t line = 0; line < kHeight; line += 256) {
        const uint64_t lines = std::min<uint64_t>(256, kHeight - line);
        out.write(block.data(), static_cast<std::streamsize>(lines * lineBytes));
    }
    return static_cast<bool>(out.flush());
}

void MakeJob(const std::filesystem::path& job, uint64_t size) {
    std::error_code ec;
    if (std::filesystem::file_size(job, ec) == size) return;
    std::printf("making a %.0f MB job...\n", static_cast<double>(size) / 1e6);
#ifdef TESSARIN_BINARY_DIR
    const std::filesystem::path tool = std::filesystem::path(TESSARIN_BINARY_DIR) / "tools/tessarin-makejob";
    if (std::filesystem::exists(tool)) {
        bench::TimeCommand(tool.string() + " --width " + std::to_string(kWidth) + " --height " +
                           std::to_string(kHeight) + " --planes " + std::to_string(kPlanes) +
                           " --pattern ramp " + job.string());
        return;
    }
#endif
    if (!WriteJobOurselves(job)) {
        std::fprintf(stderr, "bench: cannot write %s\n", job.c_str());
        std::exit(1);
    }
}

// Seconds to read the whole job once in 1 MiB reads: the least a preview that read every line would cost.
double ReadWholeFile(const std::filesystem::path& job) {
    const int fd = ::open(job.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) std::exit(1);
    std::vector<char> buffer(1 << 20);
    const auto start = std::chrono::steady_clock::now();
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    const double seconds = bench::Seconds(std::chrono::steady_clock::now() - start);
    ::close(fd);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path dir = DefaultDir();
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) dir = argv[++i];
        else if (!std::strcmp(argv[i], "--keep")) keep = true;
    }
    std::filesystem::create_directories(dir);
    const std::filesystem::path job = dir / "wide.prn";
    const uint64_t size = RipHead::kSize + uint64_t{kWidth} * kHeight * kPlanes;
    MakeJob(job, size);

    ReadWholeFile(job);  // warms the page cache
    const double wholeSeconds = ReadWholeFile(job);

    PreviewResult result;
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        result = CRipFile::MakePreview(job, kViewWidth, 1);
        times.push_back(bench::Seconds(std::chrono::steady_clock::now() - start));
        if (!result) {
            std::fprintf(stderr, "bench: no preview: %.*s\n", static_cast<int>(result.Reason().size()),
                         result.Reason().data());
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];

    std::printf("job: %u x %u pixels, %u planes, %.0f MB; whole-file read %.3f s (warm page cache)\n", kWidth,
                kHeight, kPlanes, static_cast<double>(size) / 1e6, wholeSeconds);
    std::printf("preview for a %d-pixel view: step %llu, picture %u x %u\n", kViewWidth,
                static_cast<unsigned long long>(result.geometry.step), result.geometry.width,
                result.geometry.height);
    std::printf("%-10s %-10s %-14s %-18s %-18s %s\n", "median s", "best s", "bytes read", "read / file size",
                "time / whole read", "peak MiB");
    std::printf("%-10.4f %-10.4f %-14llu %-18.4f %-18.4f %.1f\n", median, times.front(),
                static_cast<unsigned long long>(result.bytesRead),
                static_cast<double>(result.bytesRead) / static_cast<double>(size), median / wholeSeconds,
                bench::PeakResidentMiB());

    std::filesystem::remove(CRipFile::PreviewPath(job));
    if (!keep) std::filesystem::remove(job);
    return 0;
}

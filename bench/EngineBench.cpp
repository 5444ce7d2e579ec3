// Streams a large generated job through the print engine into the virtual printer (data discarded) and
// compares the throughput with dd reading the same file from a warm page cache.
//
//   bench_engine [--size-gib N] [--keep]   (default 2 GiB; the job is made in the build folder)

#include <cstring>
#include <string>

#include "BenchSupport.h"
#include "engine/BrevantaPrinter.h"
#include "platform/DebugOutput.h"

namespace {

struct Run {
    double seconds, cpu, peakMiB;
};

Run PrintOnce(const std::filesystem::path& home, const std::filesystem::path& job, int32_t xSpacing) {
    bench::QuietHost host;
    CBrevantaPrinter engine(home / "VirtualPrinter.so", host, {});
    auto printJob = std::make_shared<CPrintJob>(job.string(), 1);
    bench::ResetPeakResident();
    const double cpu0 = bench::CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    int32_t result = engine.ProcessJob(printJob, 1, xSpacing, 1, 0);
    Run run{bench::Seconds(std::chrono::steady_clock::now() - start), bench::CpuSeconds() - cpu0,
            bench::PeakResidentMiB()};
    if (result != CBrevantaPrinter::RESULT_PRINTED) {
        std::fprintf(stderr, "bench: the job did not print (result %d)\n", result);
        std::exit(1);
    }
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    double sizeGiB = 2.0;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--size-gib") && i + 1 < argc) sizeGiB = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--keep")) keep = true;
    }
    platform::SetDebugSink([](std::string_view) {});  // the trace is not what is measured

    const std::filesystem::path dir = std::filesystem::path(TESSARIN_BINARY_DIR) / "bench-engine";
    bench::MakeDiscardingPrinterHome(dir / "home", std::filesystem::path(TESSARIN_BINARY_DIR) / "drivers");
    // 4 planes of 16,000-byte rows (a 1.6 m wide line at 1,000 dpi, give or take): 64,000 bytes a line.
    const uint64_t rowBytes = 16000, planes = 4;
    const uint64_t height = static_cast<uint64_t>(sizeGiB * (1ull << 30)) / (rowBytes * planes) + 1;
    const std::filesystem::path job = dir / "big.prn";
    const uint64_t expected = 48 + rowBytes * planes * height;
    std::error_code ec;
    if (std::filesystem::file_size(job, ec) != expected) {
        std::printf("making a %.2f GiB job...\n", static_cast<double>(expected) / (1ull << 30));
        std::string make = std::string(TESSARIN_BINARY_DIR) + "/tools/tessarin-makejob --pattern ramp --width " +
                           std::to_string(rowBytes) + " --height " + std::to_string(height) + " --planes 4 " + job.string();
        bench::TimeCommand(make);
    }
    const double gib = static_cast<double>(expected) / (1ull << 30);
    const std::string dd = "dd if=" + job.string() + " of=/dev/null bs=1M";
    bench::TimeCommand(dd);  // warm the page cache
    const double ddSeconds = bench::TimeCommand(dd);

    std::printf("job: %.2f GiB, %llu lines of %llu bytes; dd: %.2f s, %.2f GiB/s\n", gib,
                static_cast<unsigned long long>(height), static_cast<unsigned long long>(rowBytes * planes), ddSeconds,
                gib / ddSeconds);
    std::printf("%-32s %8s %10s %10s %12s %12s\n", "case", "seconds", "GiB/s", "ratio dd", "CPU s/GiB", "peak MiB");
    struct Case {
        const char* name;
        int32_t xSpacing;
        double goal;
    } cases[] = {{"X spacing 8 (rows as in the file)", 8, 0.7}, {"X spacing 0 (rows cut by 8 bytes)", 0, 0.5}};
    bool met = true;
    for (const Case& c : cases) {
        Run run = PrintOnce(dir / "home", job, c.xSpacing);
        const double ratio = ddSeconds / run.seconds;
        met = met && ratio >= c.goal && run.peakMiB < 64;
        std::printf("%-32s %8.2f %10.2f %10.2f %12.3f %12.1f   (goal ratio >= %.1f, peak < 64 MiB)\n", c.name,
                    run.seconds, gib / run.seconds, ratio, run.cpu / gib, run.peakMiB, c.goal);
    }
    if (!keep) std::filesystem::remove(job);
    std::printf("%s\n", met ? "goals met" : "goals NOT met");
    return 0;
}

// Drops small job files, one at a time, into the hot folder of the Tessarin service (the real headless
// process with the virtual printer) and measures how long each waits from its writer's close until printing
// starts: the printer library's StartPrint, seen as the virtual printer's header.bin appearing in a new
// session.
//
//   bench_hotfolder [--files N]   (default 50, after one warm-up file that is not counted)

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "engine/RipHead.h"
#include "shell/IniReader.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kStepTimeout = 10s;

[[noreturn]] void Fail(const std::string& why) {
    throw std::runtime_error(why);
}

RipHead SmallJob() {
    RipHead head;
    head.signature = 0x50524E54;
    head.xdpi = head.ydpi = 720;
    head.byteperline = 400;
    head.width = 1600;  // 2 bits a pixel
    head.color = 4;
    head.height = 40;
    return head;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Writes the job straight into the hot folder as a RIP would (header, then the lines) and returns the moment
// its writer closed it.
std::chrono::steady_clock::time_point WriteJob(const fs::path& path, const RipHead& head) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) Fail("cannot create " + path.string());
    const auto header = head.ToBytes();
    std::vector<uint8_t> lines(head.DataBytes());
    for (size_t i = 0; i < lines.size(); ++i) lines[i] = static_cast<uint8_t>(i);
    const bool written =
        WriteAll(fd, header.data(), header.size()) && WriteAll(fd, lines.data(), lines.size());
    ::close(fd);
    if (!written) Fail("cannot write " + path.string());
    return std::chrono::steady_clock::now();
}

void WaitFor(const fs::path& folder, const std::function<bool()>& done, const std::string& what) {
    if (!bench::WaitInFolder(folder, done, kStepTimeout)) Fail("waited 10 s in vain for " + what);
}

double Percentile(const std::vector<double>& sorted, double p) {
    const double at = p * static_cast<double>(sorted.size() - 1);
    const size_t below = static_cast<size_t>(at);
    const size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (at - static_cast<double>(below));
}

}  // namespace

int main(int argc, char** argv) try {
    int files = 50;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--files") && i + 1 < argc) files = std::max(1, std::atoi(argv[++i]));
    }

    const fs::path dir = fs::path(TESSARIN_BINARY_DIR) / "bench-hotfolder";
    const fs::path home = dir / "home", hot = dir / "hot", output = home / "VirtualPrinterOutput";
    fs::remove_all(output);
    fs::remove_all(hot);
    fs::create_directories(hot);
    fs::create_directories(output);
    bench::MakeDiscardingPrinterHome(home, fs::path(TESSARIN_BINARY_DIR) / "drivers",
                                     "HotFolder=" + hot.string() + "\nDeleteListSource=1\n");

    bench::Process service;
    if (!service.Spawn({std::string(TESSARIN_BINARY_DIR) + "/Tessarin", "--headless", "--home", home.string(),
                        "--port", "0"},
                       dir / "service.log"))
        Fail("Tessarin cannot be started");

    const RipHead head = SmallJob();
    std::vector<double> latencies;
    for (int i = 0; i <= files; ++i) {
        // Spread over more than the watcher's longest wait, so the files meet it at every point of its cycle.
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(i * 37 % 200));
        char name[32], session[32];
        std::snprintf(name, sizeof name, "job-%03d.prn", i);
        std::snprintf(session, sizeof session, "session-%04d", i + 1);
        const fs::path job = hot / name, sessionDir = output / session;

        const auto closed = WriteJob(job, head);
        WaitFor(
            output, [&] { return fs::exists(sessionDir); }, std::string("a session for ") + name);
        WaitFor(
            sessionDir, [&] { return fs::exists(sessionDir / "header.bin"); },
            std::string("StartPrint of ") + name);
        const double ms = bench::Seconds(std::chrono::steady_clock::now() - closed) * 1000;
        if (i > 0) latencies.push_back(ms);  // the first one also waits for the service to start

        // summary.ini is written in place, so only its last key says that it is complete.
        const CIniReader summary(sessionDir / "summary.ini");
        WaitFor(
            sessionDir, [&] { return !summary.ReadString("Session", "BytePerLine").empty(); },
            std::string("the end of ") + name);
        if (summary.ReadString("Session", "End") != "EndRipData" ||
            summary.ReadString("Session", "Lines") != std::to_string(head.height))
            Fail(std::string(name) + " was not printed whole (see " + (sessionDir / "summary.ini").string() +
                 ")");
        WaitFor(
            hot, [&] { return !fs::exists(job); }, std::string("the removal of ") + name);
    }
    service.Signal(SIGTERM);
    service.Wait();

    std::sort(latencies.begin(), latencies.end());
    const double median = Percentile(latencies, 0.5);
    std::printf(
        "hot folder: %d job files of %llu bytes, 0-199 ms apart; from the writer's close to StartPrint:\n",
        files, static_cast<unsigned long long>(RipHead::kSize + head.DataBytes()));
    std::printf(
        "median %.1f ms, 90th percentile %.1f ms, max %.1f ms, min %.1f ms   (goal: median <= 100 ms)\n",
        median, Percentile(latencies, 0.9), latencies.back(), latencies.front());
    std::printf("%s\n", median <= 100 ? "goal met" : "goal NOT met");
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench: %s\n", e.what());
    return 1;
}

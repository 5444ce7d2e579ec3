// Soak run: one headless service takes N network jobs and N hot-folder files, sent at the same time; each
// must be printed exactly once (one virtual printer session per job, told apart by the header's signature),
// and the service's resident memory, descriptors and threads are sampled from start to end.
// Usage: bench_soak [--jobs N]   (default 1000 of each kind)

#include <atomic>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>

#include "../tests/core/JobFiles.h"
#include "../tests/e2e/ServiceProcess.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct Sample {
    double seconds = 0;
    long rssKiB = 0;
    size_t fds = 0;
    size_t threads = 0;
    int sessions = 0;
};

size_t CountEntries(const fs::path& folder) {
    std::error_code ec;
    size_t n = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) ++n;
    return n;
}

long StatusKiB(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return 0;
}

Sample Take(pid_t pid, std::chrono::steady_clock::time_point start, int sessions) {
    const fs::path proc = "/proc/" + std::to_string(pid);
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), StatusKiB(pid, "VmRSS:"),
            CountEntries(proc / "fd"), CountEntries(proc / "task"), sessions};
}

std::string Job(uint32_t signature) {
    RipHead head = testsupport::TestHead(64, 8, 256, signature);
    head.color = 2;
    return testsupport::JobBytes(head, 2);
}

uint32_t SignatureOf(const fs::path& session) {
    const std::string header = testsupport::ReadFile(session / "header.bin");
    if (header.size() != RipHead::kSize) return 0;
    return RipHead::FromBytes(std::span<const uint8_t, 48>(reinterpret_cast<const uint8_t*>(header.data()), 48)).signature;
}

}  // namespace

int main(int argc, char** argv) {
    int jobs = 1000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string_view(argv[i]) == "--jobs") jobs = std::atoi(argv[i + 1]);
    constexpr uint32_t kNetworkBase = 1'000'000, kHotBase = 2'000'000;

    e2e::ServiceProcess s;
    s.AddIni("DeleteListSource=1\n");
    if (!s.Start()) {
        std::cerr << "the service did not start: " << s.Stderr() << "\n";
        return 1;
    }
    const pid_t pid = s.Pid();
    const auto start = std::chrono::steady_clock::now();
    std::vector<Sample> samples{Take(pid, start, 0)};
    std::atomic<bool> done{false};
    std::mutex samplesMutex;
    std::thread sampler([&] {
        while (!done) {
            std::this_thread::sleep_for(250ms);
            std::lock_guard lock(samplesMutex);
            samples.push_back(Take(pid, start, s.SessionCount()));
        }
    });

    // Network jobs one connection after the other, while the hot-folder files arrive in batches.
    int refused = 0;
    std::thread network([&] {
        for (int i = 0; i < jobs; ++i) {
            e2e::Client c(s.Port());
            if (!c.Send(Job(kNetworkBase + static_cast<uint32_t>(i)))) ++refused;
            c.ShutdownWrite();
            if (!c.WaitClosedByServer(60s)) ++refused;
        }
    });
    const fs::path staging = s.Dir() / "staging";
    fs::create_directories(staging);
    for (int i = 0; i < jobs; ++i)
        testsupport::WriteFile(staging / ("soak " + std::to_string(100000 + i) + ".prn"), Job(kHotBase + static_cast<uint32_t>(i)));
    for (int i = 0; i < jobs; ++i) {
        const std::string name = "soak " + std::to_string(100000 + i) + ".prn";
        fs::rename(staging / name, s.Hot() / name);
        if (i % 50 == 49) std::this_thread::sleep_for(100ms);
    }
    network.join();
    const bool drained = [&] {
        for (auto deadline = std::chrono::steady_clock::now() + 300s; std::chrono::steady_clock::now() < deadline;) {
            if (CountEntries(s.Hot()) == 0 && s.SessionCount() >= 2 * jobs && s.SessionEnded(2 * jobs)) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::this_thread::sleep_for(1s);  // let the service settle before the last sample
    done = true;
    sampler.join();
    samples.push_back(Take(pid, start, s.SessionCount()));

    // Exactly once: every signature in one session that ended with EndRipData, and no other session.
    std::map<uint32_t, int> printed;
    int notEnded = 0;
    const int sessions = s.SessionCount();
    for (int n = 1; n <= sessions; ++n) {
        ++printed[SignatureOf(s.Session(n))];
        if (s.SessionEnd(n) != "EndRipData") ++notEnded;
    }
    int missing = 0, twice = 0;
    for (int i = 0; i < jobs; ++i) {
        for (uint32_t base : {kNetworkBase, kHotBase}) {
            const auto found = printed.find(base + static_cast<uint32_t>(i));
            const int count = found == printed.end() ? 0 : found->second;
            missing += count == 0;
            twice += count > 1;
        }
    }
    const int stray = sessions - 2 * jobs;  // the start-up probe connects and sends nothing: no session

    const Sample& first = samples.front();
    const Sample& last = samples.back();
    long peakRss = 0;
    size_t peakFds = 0, peakThreads = 0;
    for (const Sample& x : samples) {
        peakRss = std::max(peakRss, x.rssKiB);
        peakFds = std::max(peakFds, x.fds);
        peakThreads = std::max(peakThreads, x.threads);
    }
    std::printf("soak: %d network jobs + %d hot-folder files in %.1f s (%.1f jobs/s)%s\n", jobs, jobs, elapsed,
                2.0 * jobs / elapsed, drained ? "" : "  [NOT DRAINED]");
    std::printf("sessions %d, missing %d, printed twice %d, not ended by EndRipData %d, stray %d, client errors %d\n",
                sessions, missing, twice, notEnded, stray, refused);
    std::printf("VmRSS KiB: start %ld, peak %ld, end %ld (end/start %.2f)\n", first.rssKiB, peakRss, last.rssKiB,
                static_cast<double>(last.rssKiB) / static_cast<double>(std::max(first.rssKiB, 1L)));
    std::printf("descriptors: start %zu, peak %zu, end %zu; threads: start %zu, peak %zu, end %zu\n", first.fds,
                peakFds, last.fds, first.threads, peakThreads, last.threads);
    std::printf("samples (s, VmRSS KiB, fds, threads, sessions):\n");
    const size_t stride = std::max<size_t>(1, samples.size() / 12);
    for (size_t i = 0; i < samples.size(); i += stride)
        std::printf("  %6.1f %8ld %4zu %3zu %5d\n", samples[i].seconds, samples[i].rssKiB, samples[i].fds,
                    samples[i].threads, samples[i].sessions);
    std::printf("  %6.1f %8ld %4zu %3zu %5d\n", last.seconds, last.rssKiB, last.fds, last.threads, last.sessions);
    const bool ok = drained && missing == 0 && twice == 0 && notEnded == 0 && stray == 0 && refused == 0 &&
                    last.fds == first.fds && last.threads == first.threads;
    std::printf("%s\n", ok ? "soak: every job printed exactly once, nothing leaked" : "soak: FAILED");
    return ok ? 0 : 1;
}

// Streams a large raster job, generated on the fly, over loopback into the Tessarin service (the real
// headless process, its virtual printer counting the data and keeping none) and, as references in the same
// run, into socat writing to /dev/null and into a bare receive loop, once with a 256 KiB buffer and once with
// one of a raster line. Every receiver is a process of its own, so its CPU time and peak memory are its
// alone.
//
//   bench_net [--size-gib N] [--rounds N]   (default 2 GiB, best of 5 rounds)

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "engine/RipHead.h"
#include "platform/Socket.h"
#include "shell/IniReader.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t kBareBufferBytes = 256 << 10;
constexpr size_t kSendBlockBytes = 1 << 20;

struct Run {
    double seconds = 0, cpu = 0, peakMiB = 0;
};

struct Case {
    const char* name;
    std::vector<Run> runs;
    const Run& Best() const {
        return *std::min_element(runs.begin(), runs.end(),
                                 [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    }
};

// The median over the rounds of the reference's time over Tessarin's: Tessarin's relative throughput.
double MedianRatio(const Case& tessarin, const Case& reference) {
    std::vector<double> ratios;
    for (size_t i = 0; i < tessarin.runs.size(); ++i)
        ratios.push_back(reference.runs[i].seconds / tessarin.runs[i].seconds);
    std::sort(ratios.begin(), ratios.end());
    const size_t mid = ratios.size() / 2;
    return ratios.size() % 2 ? ratios[mid] : (ratios[mid - 1] + ratios[mid]) / 2;
}

// Thrown rather than exiting, so that the service process is ended on the way out.
[[noreturn]] void Fail(const std::string& why) {
    throw std::runtime_error(why);
}

uint16_t FreePort() {
    platform::Socket probe = platform::Socket::Tcp(false);
    if (!probe || !probe.Bind(INADDR_LOOPBACK, 0)) Fail("no free loopback port");
    return probe.LocalPort();
}

// A connection to a receiver that may still be starting: refused connects are tried again for a while.
platform::Socket Connect(uint16_t port) {
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         std::chrono::steady_clock::now() < deadline;) {
        platform::Socket socket = platform::Socket::Tcp(false);
        if (socket.Connect(INADDR_LOOPBACK, port)) return socket;
        if (errno != ECONNREFUSED) break;
        // Nothing tells when another program starts listening; a short pause before the next attempt.
        std::this_thread::sleep_for(5ms);
    }
    Fail("nobody listens on port " + std::to_string(port));
}

// Sends the header and the lines and waits until the receiver closes the connection, which each receiver does
// only once it has taken every byte: the seconds from connect to that close.
double SendJob(uint16_t port, const RipHead& head, const std::vector<uint8_t>& block) {
    platform::Socket socket = Connect(port);
    const auto start = std::chrono::steady_clock::now();
    const auto header = head.ToBytes();
    bool sent = socket.SendAll(header.data(), header.size());
    for (uint64_t left = head.DataBytes(); sent && left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        sent = socket.SendAll(block.data(), n);
        left -= n;
    }
    if (!sent) Fail("sending failed: " + platform::Socket::ErrorText(errno));
    socket.ShutdownWrite();
    char byte;
    while (::recv(socket.Fd(), &byte, 1, 0) > 0) {
    }
    return bench::Seconds(std::chrono::steady_clock::now() - start);
}

// The receiver every other is held against: accept one connection, read until the sender's close, nothing
// else.
int BareReceive(platform::Socket& listener, uint64_t expected, size_t bufferBytes) {
    int fd = ::accept(listener.Fd(), nullptr, nullptr);
    if (fd < 0) return 2;
    std::vector<uint8_t> buffer(bufferBytes);
    uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n > 0)
            total += static_cast<uint64_t>(n);
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(fd);
    return total == expected ? 0 : 1;
}

Run RunBare(const RipHead& head, const std::vector<uint8_t>& block, size_t bufferBytes) {
    platform::Socket listener = platform::Socket::Tcp(false);
    if (!listener || !listener.Bind(INADDR_LOOPBACK, 0) || !listener.Listen(1))
        Fail("the bare loop cannot listen");
    bench::Process receiver;
    if (!receiver.Fork([&] { return BareReceive(listener, RipHead::kSize + head.DataBytes(), bufferBytes); }))
        Fail("fork failed");
    Run run;
    run.seconds = SendJob(listener.LocalPort(), head, block);
    const bench::Process::Usage usage = receiver.Wait();
    if (usage.status != 0) Fail("the bare loop did not receive every byte");
    run.cpu = usage.cpu;
    run.peakMiB = usage.peakMiB;
    return run;
}

Run RunSocat(const std::filesystem::path& dir, const RipHead& head, const std::vector<uint8_t>& block) {
    const uint16_t port = FreePort();
    bench::Process receiver;
    if (!receiver.Spawn({"socat", "-b", "1048576", "-u", "TCP-LISTEN:" + std::to_string(port) + ",reuseaddr",
                         "OPEN:/dev/null"},
                        dir / "socat.log"))
        Fail("socat cannot be started");
    Run run;
    run.seconds = SendJob(port, head, block);
    const bench::Process::Usage usage = receiver.Wait();
    if (usage.status != 0) Fail("socat failed (see " + (dir / "socat.log").string() + ")");
    run.cpu = usage.cpu;
    run.peakMiB = usage.peakMiB;
    return run;
}

// The Tessarin service with its network print server, started once for every round.
class Service {
public:
    Service(const std::filesystem::path& dir, const std::filesystem::path& home)
        : m_home(home), m_port(FreePort()) {
        if (!m_process.Spawn({std::string(TESSARIN_BINARY_DIR) + "/Tessarin", "--headless", "--home",
                              home.string(), "--port", std::to_string(m_port)},
                             dir / "service.log"))
            Fail("Tessarin cannot be started");
        Connect(m_port);  // an empty connection is no job
    }
    ~Service() {
        m_process.Signal(SIGTERM);
        m_process.Wait();
    }

    Run Print(int session, const RipHead& head, const std::vector<uint8_t>& block) {
        const pid_t pid = m_process.Pid();
        bench::ResetPeakResident(pid);
        const double cpu0 = bench::CpuSecondsOf(pid);
        Run run;
        run.seconds = SendJob(m_port, head, block);
        run.cpu = bench::CpuSecondsOf(pid) - cpu0;
        run.peakMiB = bench::PeakResidentMiB(pid);
        Check(session, head);
        return run;
    }

private:
    // The server closes the connection only after the printer library ended the job, so the session is
    // complete.
    void Check(int session, const RipHead& head) const {
        char name[32];
        std::snprintf(name, sizeof name, "session-%04d", session);
        const CIniReader summary(m_home / "VirtualPrinterOutput" / name / "summary.ini");
        const std::string end = summary.ReadString("Session", "End");
        const std::string bytes = summary.ReadString("Session", "Bytes");
        if (end != "EndRipData" || bytes != std::to_string(head.DataBytes()))
            Fail(std::string("the printer library got ") + (bytes.empty() ? "nothing" : bytes + " bytes") +
                 " of " + std::to_string(head.DataBytes()) + ", session end '" + end + "'");
    }

    std::filesystem::path m_home;
    uint16_t m_port;
    bench::Process m_process;
};

}  // namespace

int main(int argc, char** argv) try {
    double sizeGiB = 2.0;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--size-gib") && i + 1 < argc)
            sizeGiB = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
    }

    const std::filesystem::path dir = std::filesystem::path(TESSARIN_BINARY_DIR) / "bench-net";
    std::filesystem::remove_all(dir / "home" / "VirtualPrinterOutput");
    bench::MakeDiscardingPrinterHome(dir / "home", std::filesystem::path(TESSARIN_BINARY_DIR) / "drivers");

    // 4 planes of 16,000-byte rows, as the engine benchmark: 64,000 bytes a line.
    RipHead head;
    head.signature = 0x50524E54;
    head.xdpi = head.ydpi = 720;
    head.byteperline = 16000;
    head.width = 16000 * 4;  // 2 bits a pixel
    head.color = 4;
    head.height = static_cast<uint32_t>(static_cast<uint64_t>(sizeGiB * (1ull << 30)) / head.LineBytes() + 1);
    const double gib = static_cast<double>(RipHead::kSize + head.DataBytes()) / (1ull << 30);
    // The lines cycle through one block of varied bytes; the receivers look at none of them.
    std::vector<uint8_t> block(kSendBlockBytes);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7 + (i >> 12));

    Case tessarin{"Tessarin --headless (TCP server)", {}};
    Case socat{"socat -b 1048576 -u ... /dev/null", {}};
    Case bare{"bare loop, 256 KiB recv", {}};
    // As the server takes the stream: one raster line per receive. Tells the cost of the line-sized
    // receives from everything else the server does.
    Case bareLine{"bare loop, one line per recv", {}};
    Case* const cases[] = {&tessarin, &socat, &bare, &bareLine};
    {
        Service service(dir, dir / "home");
        const std::function<void()> receivers[] = {
            [&] {
                tessarin.runs.push_back(
                    service.Print(static_cast<int>(tessarin.runs.size()) + 1, head, block));
            },
            [&] { socat.runs.push_back(RunSocat(dir, head, block)); },
            [&] { bare.runs.push_back(RunBare(head, block, kBareBufferBytes)); },
            [&] { bareLine.runs.push_back(RunBare(head, block, head.LineBytes())); }};
        constexpr int kReceivers = std::size(receivers);
        std::printf("seconds a round takes: Tessarin, socat, bare loop 256 KiB, bare loop one line\n");
        for (int round = 0; round < rounds; ++round) {
            // Interleaved, each round starting with another receiver, so that a slow moment of the machine
            // does not fall on one receiver only.
            for (int i = 0; i < kReceivers; ++i) receivers[(round + i) % kReceivers]();
            std::printf("round %d:", round + 1);
            for (const Case* c : cases) std::printf("  %.2f s", c->runs.back().seconds);
            std::printf("\n");
        }
    }

    std::printf("stream: %.2f GiB, %u lines of %llu bytes; best of %d rounds\n", gib, head.height,
                static_cast<unsigned long long>(head.LineBytes()), rounds);
    std::printf("%-36s %8s %8s %12s %10s\n", "receiver", "seconds", "GiB/s", "CPU s/GiB", "peak MiB");
    for (const Case* c : cases) {
        const Run& run = c->Best();
        std::printf("%-36s %8.2f %8.2f %12.3f %10.1f\n", c->name, run.seconds, gib / run.seconds,
                    run.cpu / gib, run.peakMiB);
    }
    // On a busy machine the best times may come from different moments; the ratio within each round,
    // whose receivers ran seconds apart, is steadier.
    std::printf("Tessarin's throughput over the reference's: %12s %12s\n", "best times", "round median");
    for (const Case* c : {&socat, &bare, &bareLine}) {
        std::printf("  %-40s %12.2f %12.2f\n", c->name, c->Best().seconds / tessarin.Best().seconds,
                    MedianRatio(tessarin, *c));
    }
    const double bareRatio = MedianRatio(tessarin, bare);
    std::printf("goal: close to the bare loop (256 KiB recv), round median >= 0.8: %s\n",
                bareRatio >= 0.8 ? "met" : "NOT met");
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench: %s\n", e.what());
    return 1;
}

#include "net/Server.h"

#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
#include <new>

#include "engine/PrinterLibrary.h"
#include "shell/Trace.h"

using namespace std::chrono_literals;

namespace {

constexpr int kBacklog = 5;
// Large enough for a RIP on a fast link to keep sending while the printer library takes a line; the
// kernel caps it at its own maximum.
constexpr int kReceiveBufferBytes = 4 << 20;
// How soon a failed accept is tried again: long enough that a lasting failure (no descriptors left) does
// not spin, short enough that the next client hardly notices.
constexpr auto kAcceptRetryPause = 100ms;
// How often the operator's requests are looked at while the thread waits for something else.
constexpr auto kControlPollInterval = 100ms;
// Lines are received in runs of about this size and handed to the library from where they landed: one
// receive per line costs a system call per 64 KB and leaves the socket's buffer half used.
constexpr size_t kReceiveChunkBytes = 1 << 20;

bool Refuse(std::string& error, std::string text) {
    TraceLine("%s", text.c_str());
    error = std::move(text);
    return false;
}

std::string SocketFailure(const char* call, uint16_t port, int error) {
    return "the network print server cannot listen on port " + std::to_string(port) + ": " + call +
           " failed: " + platform::Socket::ErrorText(error);
}

}  // namespace

CServer::CServer(uint16_t nListenPort, std::filesystem::path DllPath, PrintHost& host,
                 std::shared_ptr<PrinterLock> lock)
    : m_nListenPort(nListenPort),
      m_strDllPath(std::move(DllPath)),
      m_host(host),
      m_printerLock(lock ? std::move(lock) : std::make_shared<PrinterLock>()) {}

CServer::~CServer() {
    Stop();
}

bool CServer::OpenServer(std::string& error) {
    TraceLine("Open the server socket on port %u", static_cast<unsigned>(m_nListenPort));
    if (m_thread.joinable()) return Refuse(error, "the network print server is already running");
    platform::Socket listener = platform::Socket::Tcp(true);
    if (!listener) return Refuse(error, SocketFailure("socket()", m_nListenPort, errno));
    // A restarted program must get its port back while connections of the last run linger in TIME_WAIT.
    if (!listener.SetIntOption(SOL_SOCKET, SO_REUSEADDR, 1))
        return Refuse(error, SocketFailure("setsockopt(SO_REUSEADDR)", m_nListenPort, errno));
    // Set before listen so that every accepted connection inherits it and its window scale is agreed on
    // in the handshake. Only a hint: the job is received without it.
    if (!listener.SetIntOption(SOL_SOCKET, SO_RCVBUF, kReceiveBufferBytes))
        TraceLine("setsockopt(SO_RCVBUF) failed: %s", platform::Socket::ErrorText(errno).c_str());
    const uint32_t address = m_bLoopbackOnly ? INADDR_LOOPBACK : INADDR_ANY;
    if (!listener.Bind(address, m_nListenPort))
        return Refuse(error, SocketFailure("bind()", m_nListenPort, errno));
    if (!listener.Listen(kBacklog)) return Refuse(error, SocketFailure("listen()", m_nListenPort, errno));
    m_nBoundPort = listener.LocalPort();
    m_listenSocket = std::move(listener);
    return true;
}

bool CServer::StartServer(std::string& error) {
    TraceLine("Start the network print server");
    if (m_thread.joinable()) return Refuse(error, "the network print server is already running");
    if (!m_listenSocket && !OpenServer(error)) return false;
    std::unique_ptr<CPrinterLibrary> library = CPrinterLibrary::LoadDll(m_strDllPath, error);
    if (!library || !platform::Socket::Pair(m_wakeRead, m_wakeWrite)) {
        if (library) error = "the network print server cannot start: " + platform::Socket::ErrorText(errno);
        TraceLine("%s", error.c_str());
        // Nobody would accept: a RIP is better refused at once than left hanging in the backlog.
        m_listenSocket.Close();
        return false;
    }
    m_library = std::move(library);
    m_bStop = false;
    m_thread = std::thread([this] { ServerThread(); });
    return true;
}

void CServer::Stop() {
    TraceLine("Stop the network print server");
    m_bStop = true;
    if (m_wakeWrite) {
        const uint8_t byte = 1;
        // A full wake-up socket already wakes every wait, so a failed send changes nothing.
        m_wakeWrite.SendAll(&byte, 1);
    }
    if (m_thread.joinable()) m_thread.join();
    m_listenSocket.Close();
    m_wakeRead.Close();
    m_wakeWrite.Close();
    m_library.reset();
}

void CServer::ServerThread() {
    TraceLine("Start server thread");
    while (!m_bStop) {
        TraceLine("Wait for a client to connect");
        platform::Socket client = AcceptClient();
        if (!client) continue;
        TraceLine("Connect to  a client");
        m_bBusy = true;
        try {
            HandleTcpClient(client);
        } catch (const std::exception& e) {
            // One connection must never take the program down with it.
            TraceLine("Serving a client failed: %s", e.what());
        }
        // Cleared before the connection closes, so a client that sees the close also sees the server idle.
        m_bBusy = false;
    }
}

platform::Socket CServer::AcceptClient() {
    for (;;) {
        switch (m_listenSocket.WaitReadable(-1ms, &m_wakeRead)) {
            case platform::Socket::Readiness::Woken:
                return {};
            case platform::Socket::Readiness::Failed:
                TraceLine("poll() failed: %s", platform::Socket::ErrorText(errno).c_str());
                m_wakeRead.WaitReadable(kAcceptRetryPause);
                return {};
            default:
                break;
        }
        platform::Socket client = m_listenSocket.Accept();
        if (client) return client;
        // The client gave up between the poll and the accept: nothing to wait for.
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED) continue;
        TraceLine("accept() failed: %s", platform::Socket::ErrorText(errno).c_str());
        m_wakeRead.WaitReadable(kAcceptRetryPause);
        return {};
    }
}

void CServer::HandleTcpClient(platform::Socket& client) {
    TraceLine("Receive the raster header");
    RipHead head;
    if (!ReceiveHead(client, head)) return;

    PrinterLockHolder printer;
    if (!printer.Acquire(*m_printerLock, [this] { return m_bStop.load(); })) {
        TraceLine("Stopped while waiting for the printer");
        return;
    }
    if (!StartPrinter(head)) {
        // No job row exists yet, so without this the RIP's job would vanish without a word.
        m_host.ReportMessage("A network job was not printed: the printer did not start it.");
        return;
    }

    auto job = std::make_shared<CPrintJob>(kNetworkJobName, 1);
    job->SetStatus(JOB_OUTPUT);
    m_host.AddPrintJob(job);
    m_host.BeginAdjustment();
    m_host.ShowHead(head);
    Outcome outcome = PrintLines(client, head, job);
    FinishJob(job, outcome);
}

bool CServer::ReceiveHead(platform::Socket& client, RipHead& head) {
    std::array<uint8_t, RipHead::kSize> bytes{};
    const ReceiveResult received = ReceiveExactly(client, bytes.data(), bytes.size(), nullptr);
    switch (received.status) {
        case Received::All:
            break;
        case Received::Closed:
            TraceLine("recv() failed, connection closed prematurely");
            return false;
        case Received::TimedOut:
            TraceLine("recv() timed out before the header was complete");
            return false;
        case Received::Failed:
            TraceLine("recv() failed: %s", platform::Socket::ErrorText(received.error).c_str());
            return false;
        case Received::Cancelled:
            TraceLine("Stopped while receiving the header");
            return false;
    }
    head = RipHead::FromBytes(bytes);
    const HeadError error = head.DeriveForStream();
    TraceLine(
        "signature = %d, head.fpaperwidth = %d, bit = %d, byteperline = %d\n"
        "color = %d, height = %d, width = %d, xdpi = %d, ydpi = %d",
        static_cast<int>(head.signature), static_cast<int>(head.fpaperwidth), static_cast<int>(head.bit),
        static_cast<int>(head.byteperline), static_cast<int>(head.color), static_cast<int>(head.height),
        static_cast<int>(head.width), static_cast<int>(head.xdpi), static_cast<int>(head.ydpi));
    if (error != HeadError::None) {
        const std::string_view why = HeadErrorText(error);
        TraceLine("Header refused: %.*s", static_cast<int>(why.size()), why.data());
        m_host.ReportMessage("A network job was refused: " + std::string(why) + ".");
        return false;
    }
    return true;
}

bool CServer::StartPrinter(const RipHead& head) {
    TraceLine("Start the printer");
    if (m_library->InitPrinter(1) == 0) {
        TraceLine("InitPrinter() failed");
        return false;
    }
    const std::array<uint8_t, RipHead::kSize> bytes = head.ToBytes();
    if (m_library->StartPrint(bytes.data()) == 0) {
        TraceLine("StartPrint() failed");
        return false;
    }
    return true;
}

CServer::Outcome CServer::PrintLines(platform::Socket& client, const RipHead& head,
                                     const std::shared_ptr<CPrintJob>& job) {
    TraceLine("Start to print");
    if (head.height == 0) return {JobEnd::Printed, {}};
    const size_t lineBytes = static_cast<size_t>(head.LineBytes());
    const uint64_t linesPerChunk = std::clamp<uint64_t>(kReceiveChunkBytes / lineBytes, 1, head.height);
    const size_t chunkBytes = static_cast<size_t>(linesPerChunk) * lineBytes;
    std::unique_ptr<uint8_t[]> chunk;
    try {
        // Never read before it is filled from the socket, so it is not cleared first.
        chunk = std::make_unique_for_overwrite<uint8_t[]>(chunkBytes);
    } catch (const std::bad_alloc&) {
        return {JobEnd::Failed, "there is not enough memory for one raster line"};
    }
    // Bytes [start, filled) of the chunk are received and not yet printed; never more than the job holds,
    // so nothing after its last line is taken from the connection.
    size_t start = 0;
    size_t filled = 0;
    for (uint64_t i = 0; i < head.height; ++i) {
        if (!HandleControl(job)) return {JobEnd::Cancelled, {}};
        if (filled - start < lineBytes) {
            std::memmove(chunk.get(), chunk.get() + start, filled - start);
            filled -= start;
            start = 0;
            const size_t most = static_cast<size_t>(
                std::min<uint64_t>(chunkBytes, (head.height - i) * static_cast<uint64_t>(lineBytes)));
            const ReceiveResult received =
                ReceiveAtLeast(client, chunk.get() + filled, lineBytes - filled, most - filled, job.get());
            if (received.status == Received::Cancelled) return {JobEnd::Cancelled, {}};
            if (received.status != Received::All)
                return {JobEnd::Failed, ReceiveFailureCause(received, i, head.height)};
            filled += received.count;
        }
        if (m_library->WriteRipData(chunk.get() + start, static_cast<int32_t>(lineBytes)) < 0) {
            TraceLine("WriteRipData() failed");
            return {JobEnd::WriteFailed, "the printer library reported an error while printing"};
        }
        start += lineBytes;
        if (job->SetProgress(static_cast<int32_t>((i + 1) * 100 / head.height))) Post(job);
    }
    return {JobEnd::Printed, {}};
}

// Honours the operator's requests between raster lines; false when the job is to end as cancelled (a
// stop of the server counts as a cancel).
bool CServer::HandleControl(const std::shared_ptr<CPrintJob>& job) {
    for (;;) {
        if (m_bStop) return false;
        switch (job->PollControl()) {
            case CONTROL_PAUSE:
                if (job->GetStatus() != JOB_PAUSE) {
                    job->SetStatus(JOB_PAUSE);
                    m_library->PausePrint();
                    Post(job);
                }
                // Bounded, so that a stop is seen while the job rests.
                job->WaitWhilePaused(kControlPollInterval);
                continue;
            case CONTROL_RESUME:
                if (job->GetStatus() != JOB_OUTPUT) {
                    m_host.BeginAdjustment();
                    m_library->ResumePrint();
                    job->SetStatus(JOB_OUTPUT);
                    Post(job);
                }
                return true;
            case CONTROL_CANCEL:
                return false;
            default:
                return true;
        }
    }
}

void CServer::FinishJob(const std::shared_ptr<CPrintJob>& job, const Outcome& outcome) {
    TraceLine("打印善后处理");
    switch (outcome.end) {
        case JobEnd::Printed:
            job->SetStatus(JOB_OUTPUT_END);
            Post(job);
            m_library->EndRipData();
            m_host.EndAdjustment(true);
            return;
        case JobEnd::WriteFailed:
            job->SetStatus(JOB_OUTPUT_FAIL);
            Post(job);
            m_library->EndRipData();
            m_host.EndAdjustment(true);
            break;
        case JobEnd::Cancelled:
            m_host.EndAdjustment(false);
            m_library->AbortPrint();
            job->SetStatus(JOB_OUTPUT_CANCEL);
            Post(job);
            return;
        case JobEnd::Failed:
            m_library->AbortPrint();
            job->SetStatus(JOB_OUTPUT_FAIL);
            Post(job);
            m_host.EndAdjustment(true);
            break;
    }
    TraceLine("打印失败: %s", outcome.cause.c_str());
    m_host.ReportMessage("Printing " + job->GetName() + " failed: " + outcome.cause + ".");
}

CServer::ReceiveResult CServer::ReceiveExactly(platform::Socket& client, uint8_t* data, size_t count,
                                               const CPrintJob* job) {
    return ReceiveAtLeast(client, data, count, count, job);
}

// Receives at least `least` and at most `most` bytes: whatever has arrived, once the least is there.
CServer::ReceiveResult CServer::ReceiveAtLeast(platform::Socket& client, uint8_t* data, size_t least, size_t most,
                                               const CPrintJob* job) {
    using Clock = std::chrono::steady_clock;
    const std::chrono::milliseconds timeout{m_receiveTimeoutMs.load()};
    Clock::time_point deadline = Clock::now() + timeout;
    size_t got = 0;
    while (got < least) {
        if (m_bStop || (job && job->IsCancelRequested())) return {Received::Cancelled, 0, got};
        const ptrdiff_t n = client.Receive(data + got, most - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
            deadline = Clock::now() + timeout;
            continue;
        }
        if (n == 0) return {Received::Closed, 0, got};
        if (errno != EAGAIN && errno != EWOULDBLOCK) return {Received::Failed, errno, got};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms) return {Received::TimedOut, 0, got};
        // A cancel has no descriptor to wait on, so a job's wait is cut into slices to look at it.
        const auto slice = job ? std::min<std::chrono::milliseconds>(left, kControlPollInterval) : left;
        switch (client.WaitReadable(slice, &m_wakeRead)) {
            case platform::Socket::Readiness::Woken:
                return {Received::Cancelled, 0, got};
            case platform::Socket::Readiness::Failed:
                return {Received::Failed, errno, got};
            default:
                break;
        }
    }
    return {Received::All, 0, got};
}

std::string CServer::ReceiveFailureCause(const ReceiveResult& result, uint64_t line, uint64_t height) const {
    switch (result.status) {
        case Received::Closed:
            TraceLine("recv() failed, connection closed prematurely");
            return "the RIP closed the connection after " + std::to_string(line) + " of " +
                   std::to_string(height) + " raster lines";
        case Received::TimedOut:
            TraceLine("recv() timed out");
            return "the RIP sent nothing for " + std::to_string(m_receiveTimeoutMs.load()) + " ms";
        default:
            TraceLine("recv() failed: %s", platform::Socket::ErrorText(result.error).c_str());
            return "receiving from the RIP failed: " + platform::Socket::ErrorText(result.error);
    }
}

void CServer::Post(const std::shared_ptr<CPrintJob>& job) {
    TraceLine("Post 消息WM_STATUS_CHANGED");
    m_host.PostStatusChanged(job, 1);
}

#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "engine/PrintHost.h"
#include "engine/PrintJob.h"
#include "engine/PrinterLock.h"
#include "engine/RipHead.h"
#include "platform/Socket.h"

class CPrinterLibrary;

// The network print server: a RIP connects to the TCP port and sends one raster job (the 48-byte header,
// then `height` lines of byteperline × planes bytes), which goes straight into the printer library line
// by line as it arrives. One connection is served at a time, on the server's own thread; a network job
// never enters the engine's queue, it is only shown through the host and obeys pause, resume and cancel.
class CServer {
public:
    static constexpr uint16_t kDefaultPort = 9100;
    static constexpr std::chrono::milliseconds kDefaultReceiveTimeout{60'000};

    CServer(uint16_t nListenPort, std::filesystem::path DllPath, PrintHost& host,
            std::shared_ptr<PrinterLock> lock = std::make_shared<PrinterLock>());
    ~CServer();
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    // Accept connections from this machine only; takes effect at the next OpenServer.
    void SetLoopbackOnly(bool loopbackOnly) { m_bLoopbackOnly = loopbackOnly; }
    // How long a connection may send nothing before its job is given up.
    void SetReceiveTimeout(std::chrono::milliseconds timeout) { m_receiveTimeoutMs = timeout.count(); }

    // Listens on the port (0: one the system picks, see Port). False with `error` set when it cannot.
    bool OpenServer(std::string& error);
    // Opens the port if needed, loads the printer library and starts serving. False with `error` set when
    // the port or the library is unusable; the program then runs on without network printing.
    bool StartServer(std::string& error);
    // Ends the server thread promptly; a job being received is aborted in the printer library.
    void Stop();

    // True while a connection is being served.
    bool IsBusy() const { return m_bBusy.load(); }
    uint16_t Port() const { return m_nBoundPort; }

private:
    enum class Received { All, Closed, TimedOut, Failed, Cancelled };
    struct ReceiveResult {
        Received status;
        int error = 0;     // errno of a failed receive
        size_t count = 0;  // bytes received before the status arose
    };
    enum class JobEnd { Printed, Cancelled, Failed, WriteFailed };
    struct Outcome {
        JobEnd end;
        std::string cause;
    };

    void ServerThread();
    platform::Socket AcceptClient();
    void HandleTcpClient(platform::Socket& client);
    bool ReceiveHead(platform::Socket& client, RipHead& head);
    bool StartPrinter(const RipHead& head);
    Outcome PrintLines(platform::Socket& client, const RipHead& head, const std::shared_ptr<CPrintJob>& job);
    bool HandleControl(const std::shared_ptr<CPrintJob>& job);
    void FinishJob(const std::shared_ptr<CPrintJob>& job, const Outcome& outcome);
    ReceiveResult ReceiveExactly(platform::Socket& client, uint8_t* data, size_t count, const CPrintJob* job);
    ReceiveResult ReceiveAtLeast(platform::Socket& client, uint8_t* data, size_t least, size_t most,
                                 const CPrintJob* job);
    std::string ReceiveFailureCause(const ReceiveResult& result, uint64_t line, uint64_t height) const;
    void Post(const std::shared_ptr<CPrintJob>& job);

    const uint16_t m_nListenPort;
    const std::filesystem::path m_strDllPath;
    PrintHost& m_host;
    const std::shared_ptr<PrinterLock> m_printerLock;

    bool m_bLoopbackOnly = false;
    std::atomic<int64_t> m_receiveTimeoutMs{kDefaultReceiveTimeout.count()};
    uint16_t m_nBoundPort = 0;

    platform::Socket m_listenSocket;
    // Stop writes to one end; every wait of the server thread also polls the other, which then stays
    // readable, so no wait outlives a stop.
    platform::Socket m_wakeRead;
    platform::Socket m_wakeWrite;
    std::unique_ptr<CPrinterLibrary> m_library;

    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bBusy{false};
    std::thread m_thread;
};

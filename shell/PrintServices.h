#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/BrevantaPrinter.h"
#include "engine/PrintHost.h"
#include "engine/PrinterLock.h"
#include "net/Server.h"
#include "shell/TessarinConfig.h"

// The two long-lived services of Tessarin, put together the same way for the window and for the headless
// service: the print engine with its hot-folder watch and the TCP print server, sharing one printer lock.
// Both report to the host given; the host must outlive this object.
class CPrintServices {
public:
    CPrintServices(const CTessarinConfig& config, PrintHost& host);
    ~CPrintServices();
    CPrintServices(const CPrintServices&) = delete;
    CPrintServices& operator=(const CPrintServices&) = delete;

    // Whether the printer driver library loads and has every entry; false with `error` saying why.
    bool CheckPrinterLibrary(std::string& error) const;
    // Listens on the TCP port (0: no server) and starts serving; false with `error` when it cannot.
    bool StartServer(int32_t nPort, std::string& error);
    void StartEngine();
    // Ends the server, then the engine: the job being printed is cancelled and both threads have ended when
    // this returns. Safe to call more than once.
    void Stop();

    CBrevantaPrinter& Engine() { return *m_engine; }
    CServer* Server() { return m_server.get(); }
    // No job waits or prints in the engine and no network job is being received.
    bool IsIdle() const;

private:
    const CTessarinConfig m_config;
    PrintHost& m_host;
    std::shared_ptr<PrinterLock> m_printerLock;
    std::unique_ptr<CServer> m_server;
    std::unique_ptr<CBrevantaPrinter> m_engine;
};

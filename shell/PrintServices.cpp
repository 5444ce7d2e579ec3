#include "shell/PrintServices.h"

#include "engine/PrinterLibrary.h"
#include "shell/Trace.h"

CPrintServices::CPrintServices(const CTessarinConfig& config, PrintHost& host)
    : m_config(config), m_host(host), m_printerLock(std::make_shared<PrinterLock>()) {
    m_engine = std::make_unique<CBrevantaPrinter>(m_config.printerDllPath, m_host, m_config.hotFolder, m_printerLock);
    m_engine->SetPrinterSettingDll(m_config.printerSettingPath);
    m_engine->SetHotFolderTimes(std::chrono::milliseconds(m_config.nHotFolderSettleMs),
                                std::chrono::milliseconds(m_config.nHotFolderWaitMs));
}

CPrintServices::~CPrintServices() { Stop(); }

bool CPrintServices::CheckPrinterLibrary(std::string& error) const {
    if (CPrinterLibrary::BindPrinterLibrary(m_config.printerDllPath, error)) return true;
    error += " (PrinterDll in " + m_config.configPath.string() + ")";
    return false;
}

bool CPrintServices::StartServer(int32_t nPort, std::string& error) {
    if (nPort == 0) return true;
    m_server = std::make_unique<CServer>(static_cast<uint16_t>(nPort), m_config.printerDllPath, m_host, m_printerLock);
    m_server->SetReceiveTimeout(std::chrono::milliseconds(m_config.nReceiveTimeoutMs));
    if (m_server->StartServer(error)) return true;
    m_server.reset();
    return false;
}

void CPrintServices::StartEngine() {
    TraceLine("启动打印引擎");
    m_engine->Start();
}

void CPrintServices::Stop() {
    if (m_server) m_server->Stop();
    m_engine->Stop();
}

bool CPrintServices::IsIdle() const { return m_engine->IsIdle() && !(m_server && m_server->IsBusy()); }

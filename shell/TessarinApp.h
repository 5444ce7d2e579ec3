#pragma once

#include <QObject>
#include <chrono>
#include <filesystem>
#include <memory>

#include "shell/CommandLine.h"
#include "shell/TessarinConfig.h"

class CAdjustmentSession;
class CGuiHost;
class CMainFrame;
class CPrintServices;
class CPropPane;
class QLocalServer;
class QLockFile;

// The application: one running instance, the main window, and the print engine and TCP print server
// started once the window shows. Lives for the whole program on the GUI thread.
class CTessarinApp : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    explicit CTessarinApp(CommandLine commandLine, Clock::time_point processStart = Clock::now());
    ~CTessarinApp() override;

    // False when the program should end now: another instance runs (and was asked to show its window), or
    // the program directory does not exist.
    bool InitInstance();
    // Stops the services (a job being printed is cancelled) and saves the window layout; safe to call twice.
    int ExitInstance();

    // The one application object, or null.
    static CTessarinApp* Instance();
    // Runs the window program: start-up, the event loop, shut-down. The exit status.
    static int Run(int argc, char** argv, CommandLine commandLine, Clock::time_point processStart);

    CMainFrame* MainFrame() const { return m_frame.get(); }
    // The job pane of the main window, or null while there is none.
    CPropPane* GetPropPane() const;
    // The path of the open job file; empty when none is open.
    std::filesystem::path GetFirstDocument() const;
    // Shows the folder in the folder and file panes and makes it the current directory. Always true.
    bool BrowseToFolder(const std::filesystem::path& folder);
    CPrintServices* Services() const { return m_services.get(); }
    CAdjustmentSession* Adjustment() const { return m_adjustment.get(); }
    const CTessarinConfig& Config() const { return m_config; }
    // Milliseconds from the process start to the main window shown.
    double StartupMilliseconds() const { return m_startupMs; }

    // What the operator was told at start (for example a printer library that does not load), empty if all
    // went well.
    const std::string& StartupProblem() const { return m_startupProblem; }

private:
    bool HandOverToRunningInstance();
    void ListenForOtherInstances();
    void OnOtherInstance();
    void StartServices();

    const CommandLine m_commandLine;
    const Clock::time_point m_processStart;
    double m_startupMs = 0;
    int m_exitStatus = 0;
    CTessarinConfig m_config;
    std::string m_startupProblem;

    std::unique_ptr<QLockFile> m_instanceLock;
    std::unique_ptr<QLocalServer> m_instanceServer;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<CAdjustmentSession> m_adjustment;
    std::unique_ptr<CGuiHost> m_host;
    std::unique_ptr<CPrintServices> m_services;
};

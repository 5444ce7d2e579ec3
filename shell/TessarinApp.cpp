#include "shell/TessarinApp.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include "maint/AdjustmentSession.h"
#include "panes/PropPane.h"
#include "platform/ProgramDirectory.h"
#include "shell/GuiHost.h"
#include "shell/MainFrm.h"
#include "shell/PrintServices.h"
#include "shell/PostedCallEvent.h"
#include "shell/StatusChangedEvent.h"
#include "shell/Trace.h"

namespace {

CTessarinApp* g_app = nullptr;

// The running instance is found through a lock file and a local socket, both in the user's runtime folder.
QString InstanceFolder() {
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) runtime = QDir::tempPath();
    const QString folder = runtime + QStringLiteral("/tessarin");
    QDir().mkpath(folder);
    return folder;
}

QString InstanceSocketName() { return InstanceFolder() + QStringLiteral("/MainWnd"); }

void PostToFrame(CMainFrame* frame, std::function<void(CMainFrame&)> call) {
    QCoreApplication::postEvent(frame, new CPostedCallEvent(std::move(call)));
}

}  // namespace

CTessarinApp::CTessarinApp(CommandLine commandLine, Clock::time_point processStart)
    : m_commandLine(std::move(commandLine)), m_processStart(processStart) {
    g_app = this;
}

CTessarinApp::~CTessarinApp() {
    ExitInstance();
    m_frame.reset();
    if (g_app == this) g_app = nullptr;
}

CTessarinApp* CTessarinApp::Instance() { return g_app; }

CPropPane* CTessarinApp::GetPropPane() const { return m_frame ? m_frame->PropPane() : nullptr; }

std::filesystem::path CTessarinApp::GetFirstDocument() const {
    return m_frame ? m_frame->DocumentPath() : std::filesystem::path();
}

bool CTessarinApp::BrowseToFolder(const std::filesystem::path& folder) {
    if (m_frame) m_frame->BrowseToFolder(folder);
    return true;
}

bool CTessarinApp::InitInstance() {
    TraceLine("应用程序初始化");
    QGuiApplication::setDesktopFileName(QStringLiteral("tessarin"));
    if (!m_commandLine.home.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(m_commandLine.home, ec)) {
            std::fprintf(stderr, "Tessarin: the program directory %s does not exist\n", m_commandLine.home.c_str());
            m_exitStatus = 2;
            return false;
        }
        platform::SetProgramDirectory(std::filesystem::absolute(m_commandLine.home));
    }
    if (HandOverToRunningInstance()) return false;
    ListenForOtherInstances();

    const std::filesystem::path programDirectory = platform::ProgramDirectory();
    const CLayoutValues startLayout(m_commandLine.nXCopies, m_commandLine.nXSpacing, m_commandLine.nYCopies,
                                    m_commandLine.nYSpacing);
    m_frame = std::make_unique<CMainFrame>(programDirectory / "Tessarin.ini", startLayout);
    m_frame->RestoreLayout();
    m_frame->ReloadLanguage();
    // Opened before the engine and the server exist, as a file given to the window always has been.
    if (!m_commandLine.jobFiles.empty()) m_frame->OpenDocument(m_commandLine.jobFiles.front());

    m_frame->show();
    m_startupMs = std::chrono::duration<double, std::milli>(Clock::now() - m_processStart).count();
    TraceLine("主窗口已显示: %.1f ms after the process started", m_startupMs);

    StartServices();
    return true;
}

void CTessarinApp::StartServices() {
    m_config = CTessarinConfig::Load(platform::ProgramDirectory());
    CMainFrame* frame = m_frame.get();
    CAdjustmentSession::Listener listener;
    listener.message = [frame](const std::string& text) {
        PostToFrame(frame, [text](CMainFrame& f) { f.ReportMessage(text); });
    };
    listener.adjustingChanged = [frame](bool adjusting) {
        PostToFrame(frame, [adjusting](CMainFrame& f) { f.OnAdjustingChanged(adjusting); });
    };
    listener.stored = [frame](const CAdjustmentSession::Stored& stored) {
        const int feed = stored.feed.value_or(0), bid = stored.bid.value_or(0);
        PostToFrame(frame, [feed, bid](CMainFrame& f) { f.OnAdjustmentStored(feed, bid); });
    };
    m_adjustment = std::make_unique<CAdjustmentSession>(m_config.programDirectory, m_config.printerDllPath,
                                                        std::move(listener));
    m_host = std::make_unique<CGuiHost>(*frame, frame->PropPane()->Layout(), m_adjustment.get());
    m_services = std::make_unique<CPrintServices>(m_config, *m_host);

    // Told, not fatal: the operator may fix Tessarin.ini or put the library in place and restart.
    std::string error;
    if (!m_services->CheckPrinterLibrary(error)) {
        m_startupProblem = error;
        frame->ReportMessage("The printer library cannot be used: " + error);
    }
    m_services->StartEngine();
    if (!m_services->StartServer(m_commandLine.nPort, error)) {
        if (m_startupProblem.empty()) m_startupProblem = error;
        frame->ReportMessage("The TCP print server is not running: " + error);
    }
    frame->SetAdjustment(m_adjustment.get());
    frame->SetServices(m_services.get());
}

int CTessarinApp::ExitInstance() {
    if (m_frame) {
        m_frame->SetServices(nullptr);
        m_frame->SetAdjustment(nullptr);
    }
    if (m_services) {
        TraceLine("应用程序退出: 停止打印服务");
        m_services->Stop();
        m_services.reset();
    }
    m_host.reset();
    m_adjustment.reset();
    if (m_frame) m_frame->SaveLayout();
    if (m_instanceServer) {
        m_instanceServer->close();
        m_instanceServer.reset();
    }
    m_instanceLock.reset();
    return 0;
}

bool CTessarinApp::HandOverToRunningInstance() {
    m_instanceLock = std::make_unique<QLockFile>(InstanceFolder() + QStringLiteral("/MainWnd.lock"));
    if (m_instanceLock->tryLock(0)) return false;
    m_instanceLock.reset();
    TraceLine("Tessarin 已在运行: 显示它的窗口");
    QLocalSocket socket;
    socket.connectToServer(InstanceSocketName());
    if (!socket.waitForConnected(2000)) return true;
    QByteArray request("show\n");
    if (!m_commandLine.jobFiles.empty())
        request += "open " + QByteArray::fromStdString(std::filesystem::absolute(m_commandLine.jobFiles.front()).string()) + "\n";
    socket.write(request);
    socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(2000);
    return true;
}

void CTessarinApp::ListenForOtherInstances() {
    m_instanceServer = std::make_unique<QLocalServer>();
    m_instanceServer->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(InstanceSocketName());  // left by a run that did not end cleanly
    if (!m_instanceServer->listen(InstanceSocketName())) {
        TraceLine("cannot listen for other instances: %s", m_instanceServer->errorString().toUtf8().constData());
        return;
    }
    connect(m_instanceServer.get(), &QLocalServer::newConnection, this, &CTessarinApp::OnOtherInstance);
}

void CTessarinApp::OnOtherInstance() {
    while (QLocalSocket* socket = m_instanceServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            const QList<QByteArray> lines = socket->readAll().split('\n');
            socket->deleteLater();
            if (!m_frame) return;
            m_frame->Raise();
            for (const QByteArray& line : lines)
                if (line.startsWith("open ")) m_frame->OpenDocument(line.mid(5).toStdString());
        });
    }
}

namespace {

// SIGINT and SIGTERM close the window like the operator does, so the job being printed is cancelled and the
// services end in order. They are blocked in every thread (threads started later inherit the mask) and read
// from a descriptor in the event loop.
int BlockTerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

}  // namespace

int CTessarinApp::Run(int argc, char** argv, CommandLine commandLine, Clock::time_point processStart) {
    const int signalFd = BlockTerminationSignals();
    QApplication application(argc, argv);
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (signalFd >= 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalFd, QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &application, [signalFd] {
            signalfd_siginfo info;
            while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            }
            TraceLine("signal: closing the window");
            if (CTessarinApp* app = Instance(); app && app->MainFrame()) app->MainFrame()->close();
            QApplication::quit();
        });
    }
    QApplication::setOrganizationName(QStringLiteral("QMRTV"));
    QApplication::setApplicationName(QStringLiteral("Tessarin"));
    CTessarinApp app(std::move(commandLine), processStart);
    if (!app.InitInstance()) return app.m_exitStatus;
    const int status = QApplication::exec();
    app.ExitInstance();
    signalNotifier.reset();
    if (signalFd >= 0) ::close(signalFd);
    return status;
}

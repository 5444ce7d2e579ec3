#include "shell/MainFrm.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>

#include "engine/RipFile.h"
#include "maint/AdjustmentSession.h"
#include "maint/NozzleVoltage.h"
#include "maint/ToolDialog.h"
#include "panes/TessarinDoc.h"
#include "panes/TessarinView.h"
#include "panes/PrintList.h"
#include "panes/PrintPane.h"
#include "panes/PropPane.h"
#include "platform/ProgramDirectory.h"
#include "shell/AboutDlg.h"
#include "shell/CommandTable.h"
#include "shell/IniWriter.h"
#include "shell/LanguageText.h"
#include "shell/MyMFCToolbar.h"
#include "shell/PrintServices.h"
#include "shell/PostedCallEvent.h"
#include "shell/StatusChangedEvent.h"
#include "shell/Trace.h"

namespace {

QString Text(std::string_view section, std::string_view key) {
    return QString::fromStdString(GetLanguageText(section, key, cmdtable::kNoText));
}

QSettings Registry() { return QSettings(QStringLiteral("QMRTV"), QStringLiteral("Tessarin")); }

QKeySequence ShortcutOf(int32_t nId) {
    // Each key does what its menu item says.
    switch (nId) {
        case cmd::ID_FILE_OPEN: return QKeySequence(Qt::CTRL | Qt::Key_O);
        case cmd::ID_TESSARIN_PRINT: return QKeySequence(Qt::CTRL | Qt::Key_P);
        case cmd::ID_TESSARIN_STOP: return QKeySequence(Qt::CTRL | Qt::Key_S);
        case cmd::ID_FILE_PRINT_SETUP: return QKeySequence(Qt::CTRL | Qt::Key_R);
        case cmd::ID_APP_EXIT: return QKeySequence(Qt::CTRL | Qt::Key_X);
        default: return {};
    }
}

}  // namespace

CMainFrame::CMainFrame(std::filesystem::path configPath, const CLayoutValues& startLayout, QWidget* parent)
    : QMainWindow(parent), m_configPath(std::move(configPath)) {
    TraceLine("创建主框架");
    setObjectName(QStringLiteral("MainFrame"));
    setWindowIcon(CMyMFCToolbar::ApplicationIcon());
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    setAcceptDrops(true);
    CreateMenuBar();
    CreateToolBar();
    CreateToolPane();
    CreateStatusBar();
    CreateView();
    CreateFolderPanes(startLayout);
    CreateDocument();
    ConnectCommands();
    UpdateRecentFileActions();
    UpdateCommandTexts();
    SetDocumentTitle();
    resize(1200, 800);
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::AddCommand(QMenu* menu, int32_t nId, const char* text) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setData(nId);
    action->setShortcut(ShortcutOf(nId));
    m_actions[nId] = action;
    return action;
}

void CMainFrame::CreateMenuBar() {
    for (const TopMenuInfo& top : cmdtable::MainMenu()) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(top.szText));
        m_topMenus.push_back(menu);
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandTexts);
        for (const MenuItemInfo& item : top.items) {
            if (item.nId == 0) {
                menu->addSeparator();
                continue;
            }
            QAction* action = AddCommand(menu, item.nId, item.szText);
            if (item.nId != cmd::ID_FILE_MRU_FILE1) continue;
            // The recent files follow the placeholder, which shows only while the list is empty.
            action->setEnabled(false);
            for (int i = 0; i < kMaxRecentFiles; ++i) {
                QAction* recent = menu->addAction(QString());
                recent->setVisible(false);
                connect(recent, &QAction::triggered, this,
                        [this, recent] { OpenDocument(recent->data().toString().toStdString()); });
                m_recentActions.push_back(recent);
            }
        }
    }
    // No handler: the item is shown and stays disabled.
    m_actions[cmd::ID_HEAD_SETTINGS]->setEnabled(false);
    for (int32_t id : {cmd::ID_VIEW_FOLDER, cmd::ID_VIEW_FILE, cmd::ID_VIEW_PROPERTY, cmd::ID_VIEW_PRINT})
        m_actions[id]->setCheckable(true);
}

void CMainFrame::CreateToolBar() {
    m_wndToolBar = new CMyMFCToolbar(this);
    for (const ToolbarButtonInfo& button : cmdtable::MainToolbar()) {
        if (button.nId == 0) {
            m_wndToolBar->addSeparator();
            continue;
        }
        QAction* action = m_actions.at(button.nId);
        action->setIcon(CMyMFCToolbar::CommandIcon(button.nId));
        action->setIconText(QString::fromUtf8(button.szLabel));
        m_wndToolBar->addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
}

void CMainFrame::CreateToolPane() {
    // The adjustment tool pane (media feed and bidirectional corrections) is put into this area.
    m_wndToolPane = new QToolBar(QStringLiteral("实用工具栏"), this);
    m_wndToolPane->setObjectName(QStringLiteral("ToolPane"));
    m_wndToolPane->setMovable(false);
    m_wndToolPane->setFloatable(false);
    m_wndToolPane->setMinimumSize(32, 32);
    addToolBar(Qt::TopToolBarArea, m_wndToolPane);
}

void CMainFrame::CreateStatusBar() {
    // The message pane shows the prompts of the four toolbar commands and nothing else. Caps, num and scroll
    // lock are not reported by the window system here, so there are no lock indicators.
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->showMessage(QString());
}

void CMainFrame::CreateView() {
    m_view = new CTessarinView(this);
    m_view->setObjectName(QStringLiteral("TessarinView"));
    setCentralWidget(m_view);
}

void CMainFrame::CreateFolderPanes(const CLayoutValues& startLayout) {
    m_wndFolderPane = new CFolderPane(this);
    m_wndFilePane = new CFilePane(this);
    m_wndFolderPane->LinkTo(m_wndFilePane);
    m_wndPropPane = new CPropPane(startLayout, this);
    m_wndPrintPane = new CPrintPane(m_configPath, this);
    for (QDockWidget* pane : {static_cast<QDockWidget*>(m_wndFolderPane), static_cast<QDockWidget*>(m_wndFilePane),
                              static_cast<QDockWidget*>(m_wndPropPane),
                              static_cast<QDockWidget*>(m_wndPrintPane)}) {
        pane->setFeatures(QDockWidget::DockWidgetMovable);
        pane->resize(200, 200);
    }
    addDockWidget(Qt::LeftDockWidgetArea, m_wndFolderPane);
    splitDockWidget(m_wndFolderPane, m_wndFilePane, Qt::Vertical);
    addDockWidget(Qt::RightDockWidgetArea, m_wndPropPane);
    addDockWidget(Qt::BottomDockWidgetArea, m_wndPrintPane);
    resizeDocks({m_wndPrintPane}, {220}, Qt::Vertical);
    resizeDocks({m_wndPropPane}, {260}, Qt::Horizontal);
    connect(m_wndPropPane, &CPropPane::PreviewInvalidated, this, [this] {
        m_view->SetLayout(m_wndPropPane->GetXCopies(), m_wndPropPane->GetXSpacing(), m_wndPropPane->GetYCopies(),
                          m_wndPropPane->GetYSpacing());
    });
    m_view->SetLayout(m_wndPropPane->GetXCopies(), m_wndPropPane->GetXSpacing(), m_wndPropPane->GetYCopies(),
                      m_wndPropPane->GetYSpacing());
}

void CMainFrame::CreateDocument() {
    m_doc = new CTessarinDoc(m_configPath, this);
    m_doc->SetYCopiesSource([this] { return m_wndPropPane->GetYCopies(); });
    m_doc->SetViewWidthSource([this] { return m_view->width(); });
    m_doc->SetJobSink([this](const std::shared_ptr<CPrintJob>& job) {
        m_services->Engine().AddPrintJob(job);
        m_wndPrintPane->AddPrintJob(job);
    });
    connect(m_doc, &CTessarinDoc::headLoaded, m_wndPropPane, &CPropPane::ShowHead);
    connect(m_doc, &CTessarinDoc::folderChanged, m_wndFilePane, &CFilePane::BrowseToFolder);
    connect(m_doc, &CTessarinDoc::folderChanged, m_wndFolderPane, &CFolderPane::SelectFolder);
    connect(m_doc, &CTessarinDoc::pathChanged, m_view, &CTessarinView::SetDocumentPath);
    connect(m_doc, &CTessarinDoc::previewReady, m_view, &CTessarinView::OnPreviewWritten);
    connect(m_doc, &CTessarinDoc::titleChanged, this, [this] { setWindowTitle(m_doc->WindowTitle()); });
    connect(m_doc, &CTessarinDoc::openFailed, this, [this](const QString& text) { ReportMessage(text.toStdString()); });
    connect(m_doc, &CTessarinDoc::previewFailed, this, [this](const QString& job, const QString& reason) {
        statusBar()->showMessage(job + QStringLiteral(": ") + reason, 10000);
    });
    connect(m_doc, &CTessarinDoc::previewProgress, this, [this](int done, int total) {
        if (done < total) statusBar()->showMessage(tr("Making previews: %1 of %2").arg(done).arg(total));
        else statusBar()->clearMessage();
    });
    connect(m_doc, &CTessarinDoc::documentOpened, this, &CMainFrame::OnDocumentOpened);
    connect(m_wndFilePane, &CFilePane::openRequested, this,
            [this](const QString& path) { OpenDocument(path.toStdString()); });
}

void CMainFrame::ConnectCommands() {
    const std::pair<int32_t, void (CMainFrame::*)()> handlers[] = {
        {cmd::ID_FILE_OPEN, &CMainFrame::OnFileOpen},
        {cmd::ID_TESSARIN_PRINT, &CMainFrame::OnTessarinPrint},
        {cmd::ID_TESSARIN_STOP, &CMainFrame::OnTessarinStop},
        {cmd::ID_PAUSE, &CMainFrame::On32830},
        {cmd::ID_RESUME, &CMainFrame::On32831},
        {cmd::ID_FILE_PRINT_SETUP, &CMainFrame::OnFilePrintSetup},
        {cmd::ID_HEAD_VOLTAGE, &CMainFrame::OnHeadVoltage},
        {cmd::ID_APP_ABOUT, &CMainFrame::OnAppAbout},
        {cmd::ID_LANGUAGE_CHINESE, &CMainFrame::On32826},
        {cmd::ID_LANGUAGE_ENGLISH, &CMainFrame::On32827},
    };
    for (const auto& [id, handler] : handlers) connect(m_actions.at(id), &QAction::triggered, this, handler);
    connect(m_actions.at(cmd::ID_APP_EXIT), &QAction::triggered, this, &QWidget::close);
    connect(m_actions.at(cmd::ID_VIEW_TOOLBAR), &QAction::triggered, this, [this] { TogglePane(m_wndToolBar); });
    connect(m_actions.at(cmd::ID_VIEW_STATUS_BAR), &QAction::triggered, this, [this] { TogglePane(statusBar()); });
    const std::pair<int32_t, QWidget*> panes[] = {{cmd::ID_VIEW_FOLDER, m_wndFolderPane},
                                                  {cmd::ID_VIEW_FILE, m_wndFilePane},
                                                  {cmd::ID_VIEW_PROPERTY, m_wndPropPane},
                                                  {cmd::ID_VIEW_PRINT, m_wndPrintPane}};
    for (const auto& [id, pane] : panes)
        connect(m_actions.at(id), &QAction::triggered, this, [this, pane = pane] { TogglePane(pane); });
    for (int32_t id : {cmd::ID_FILE_OPEN, cmd::ID_TESSARIN_PRINT, cmd::ID_TESSARIN_STOP, cmd::ID_FILE_PRINT_SETUP}) {
        QAction* action = m_actions.at(id);
        connect(action, &QAction::hovered, this, [action, id] { action->setStatusTip(CMyMFCToolbar::PromptFor(id)); });
    }
    CPrintList* list = m_wndPrintPane->List();
    connect(list, &CPrintList::CancelRequested, this, &CMainFrame::OnTessarinStop);
    connect(list, &CPrintList::PauseRequested, this, &CMainFrame::On32830);
    connect(list, &CPrintList::ResumeRequested, this, &CMainFrame::On32831);
}

void CMainFrame::ReloadLanguage() {
    TraceLine("重新加载界面语言");
    menuBar()->setWindowTitle(Text("MENU", cmdtable::kMenuBarKey));
    const auto menus = cmdtable::MainMenu();
    for (size_t i = 0; i < menus.size() && i < m_topMenus.size(); ++i)
        m_topMenus[i]->setTitle(Text("MENU", menus[i].szKey));
    m_wndToolBar->setWindowTitle(Text("TOOLBAR", cmdtable::kToolbarKey));
    m_wndFolderPane->setWindowTitle(Text("PANE", cmdtable::kPaneCaptions[0].szKey));
    m_wndFilePane->setWindowTitle(Text("PANE", cmdtable::kPaneCaptions[1].szKey));
    m_wndPrintPane->setWindowTitle(Text("PANE", cmdtable::kPaneCaptions[2].szKey));
    for (int c = 0; c < CPrintList::COLUMN_COUNT; ++c)
        m_wndPrintPane->List()->SetColumnHeader(c, Text("PANE", cmdtable::kListColumns[static_cast<size_t>(c)].szKey));
    m_wndPropPane->ReloadLanguage();
}

void CMainFrame::UpdateCommandTexts() {
    for (const TopMenuInfo& top : cmdtable::MainMenu())
        for (const MenuItemInfo& item : top.items)
            if (item.nId != 0 && item.szKey) m_actions.at(item.nId)->setText(Text("MENU", item.szKey));
    const std::pair<int32_t, QWidget*> panes[] = {{cmd::ID_VIEW_FOLDER, m_wndFolderPane},
                                                  {cmd::ID_VIEW_FILE, m_wndFilePane},
                                                  {cmd::ID_VIEW_PROPERTY, m_wndPropPane},
                                                  {cmd::ID_VIEW_PRINT, m_wndPrintPane}};
    for (const auto& [id, pane] : panes) m_actions.at(id)->setChecked(!pane->isHidden());
    for (const ToolbarButtonInfo& button : cmdtable::MainToolbar()) {
        if (button.nId == 0) continue;
        m_actions.at(button.nId)->setStatusTip(CMyMFCToolbar::PromptFor(button.nId));
        m_actions.at(button.nId)->setToolTip(CMyMFCToolbar::ToolTipFor(button.nId));
    }
}

void CMainFrame::OnFileOpen() {
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(), QStringLiteral("File(*.prn *.prt)"));
    if (!path.isEmpty()) OpenDocument(path.toStdString());
}

void CMainFrame::OnTessarinPrint() {
    TraceLine("Start: “开始”菜单的消息处理流程. Call: ");
    if (m_documentPath.empty() || !m_services) return;
    m_doc->OnPrint();
}

void CMainFrame::OnTessarinStop() {
    TraceLine("Start: “取消”打印任务消息处理函数");
    const auto job = m_wndPrintPane->GetSelectedJob();
    if (job && m_services) m_services->Engine().CancelJob(job);
}

void CMainFrame::On32830() {
    TraceLine("Start: “暂停”打印任务消息处理");
    const auto job = m_wndPrintPane->GetSelectedJob();
    if (job && m_services) m_services->Engine().PauseJob(job);
}

void CMainFrame::On32831() {
    TraceLine("Start: “继续”打印任务消息处理");
    const auto job = m_wndPrintPane->GetSelectedJob();
    if (job && m_services) m_services->Engine().ResumeJob(job);
}

void CMainFrame::OnFilePrintSetup() {
    TraceLine("打印设置");
    if (m_services) m_services->Engine().ShowSettingDialog(reinterpret_cast<void*>(winId()));
}

void CMainFrame::OnHeadVoltage() {
    TraceLine("喷头电压");
    CNozzleVoltage dialog(platform::ProgramDirectory(), this);
    dialog.exec();
}

void CMainFrame::SetAdjustment(CAdjustmentSession* adjustment) {
    m_adjustment = adjustment;
    // The controls listen to the session: they go before it does.
    delete m_toolDialog;
    m_toolDialog = nullptr;
    if (!adjustment) return;
    m_toolDialog = new CToolDialog(*adjustment, m_wndToolPane);
    m_wndToolPane->addWidget(m_toolDialog);
}

void CMainFrame::OnAdjustingChanged(bool adjusting) {
    // The tool dialog enables its own controls; this is the trace of it.
    TraceLine("调整%s", adjusting ? "开始" : "结束");
}

void CMainFrame::OnAdjustmentStored(int feed, int bid) {
    TraceLine("调整值已保存: feed %d, bid %d", feed, bid);
}

void CMainFrame::SwitchLanguage(const char* name, const char* handler) {
    const std::filesystem::path path = platform::ProgramDirectory() / "Language" / "Language.ini";
    trace_detail::LinePrefix(__FILE_NAME__, __LINE__, handler);
    TraceW("%s\n", path.c_str());
    CIniWriter(path).WriteString("LAN", "Language", name);
    ReloadLanguage();
    UpdateCommandTexts();
}

void CMainFrame::On32826() { SwitchLanguage("chinese", "CMainFrame::On32826"); }
void CMainFrame::On32827() { SwitchLanguage("english", "CMainFrame::On32827"); }

void CMainFrame::OnAppAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CMainFrame::TogglePane(QWidget* pane) {
    pane->setVisible(pane->isHidden());
    UpdateCommandTexts();
}

bool CMainFrame::IsJobFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("prn") || suffix == QLatin1String("prt");
}

bool CMainFrame::OpenDocument(const std::filesystem::path& path) {
    TraceLine("打开作业文件 %s", path.c_str());
    const std::filesystem::path full = std::filesystem::absolute(path);
    const QString fullText = QString::fromStdString(full.string());
    // A file without a whole header is no job: the document stays as it was.
    const HeadReadResult read = CRipFile::ReadHead(CTessarinDoc::JobPathFor(fullText).toStdString());
    if (read.error == HeadError::CannotOpen || read.error == HeadError::TooShort) {
        ReportMessage("The job file " + full.string() + " cannot be opened: " +
                      std::string(HeadErrorText(read.error)) + ".");
        return false;
    }
    return m_doc->OnOpenDocument(fullText);
}

void CMainFrame::OnDocumentOpened(const QString& path) {
    m_documentPath = path.toStdString();
    AddRecentFile(path);
    emit DocumentOpened(path);
}

void CMainFrame::SetDocumentTitle() { setWindowTitle(m_doc ? m_doc->WindowTitle() : QStringLiteral("无标题 - Tessarin")); }

QStringList CMainFrame::RecentFiles() const {
    QSettings registry = Registry();
    return registry.value(QStringLiteral("Recent File List"), QStringList()).toStringList();
}

void CMainFrame::AddRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kMaxRecentFiles) files.removeLast();
    QSettings registry = Registry();
    registry.setValue(QStringLiteral("Recent File List"), files);
    UpdateRecentFileActions();
}

void CMainFrame::UpdateRecentFileActions() {
    const QStringList files = RecentFiles();
    m_actions.at(cmd::ID_FILE_MRU_FILE1)->setVisible(files.isEmpty());
    for (int i = 0; i < kMaxRecentFiles; ++i) {
        QAction* action = m_recentActions[static_cast<size_t>(i)];
        action->setVisible(i < files.size());
        if (i >= files.size()) continue;
        action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(files[i]));
        action->setData(files[i]);
    }
}

void CMainFrame::AddPrintJob(const std::shared_ptr<CPrintJob>& job) { m_wndPrintPane->AddPrintJob(job); }

void CMainFrame::OnStatusChanged(const std::shared_ptr<CPrintJob>& job, int32_t nCopy) {
    TraceLine("Start：自定义消息WM_STATUS_CHANGED消息处理函数. Call: ");
    if (!job) return;
    m_wndPrintPane->SetPrintJob(job, nCopy);
    // The rows keep what the operator may still look at; the engine's queue need not keep ended jobs.
    if (m_services && IsJobOver(job->GetStatus())) m_services->Engine().RemoveEndedJobs();
}

void CMainFrame::ShowHead(const RipHead& head) { m_wndPropPane->ShowHead(head); }

void CMainFrame::BrowseToFolder(const std::filesystem::path& folder) {
    const QString text = QString::fromStdString(folder.string());
    if (QDir::current().absolutePath() != text) QDir::setCurrent(text);
    m_wndFolderPane->SelectFolder(text);
    m_wndFilePane->BrowseToFolder(text);
}

void CMainFrame::ReportMessage(const std::string& message) {
    TraceLine("%s", message.c_str());
    const QString text = QString::fromStdString(message);
    statusBar()->showMessage(text, 10000);
    // One box collects what happens while nobody looks; it never stops the window or the printing.
    if (m_messageBox && m_messageBox->isVisible()) {
        m_messageBox->setText(m_messageBox->text() + QLatin1Char('\n') + text);
        return;
    }
    m_messageBox = new QMessageBox(QMessageBox::Warning, QStringLiteral("Tessarin"), text, QMessageBox::Ok, this);
    m_messageBox->setObjectName(QStringLiteral("OperatorMessage"));
    m_messageBox->setAttribute(Qt::WA_DeleteOnClose);
    m_messageBox->setModal(false);
    m_messageBox->show();
}

void CMainFrame::Raise() {
    TraceLine("显示主窗口");
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
    emit Raised();
}

void CMainFrame::SaveLayout() const {
    QSettings registry = Registry();
    registry.setValue(QStringLiteral("Workspace/Geometry"), saveGeometry());
    registry.setValue(QStringLiteral("Workspace/State"), saveState());
}

void CMainFrame::RestoreLayout() {
    QSettings registry = Registry();
    restoreGeometry(registry.value(QStringLiteral("Workspace/Geometry")).toByteArray());
    restoreState(registry.value(QStringLiteral("Workspace/State")).toByteArray());
}

QAction* CMainFrame::Action(int32_t nId) const {
    const auto it = m_actions.find(nId);
    return it == m_actions.end() ? nullptr : it->second;
}

QMenu* CMainFrame::TopMenu(int index) const { return m_topMenus.at(static_cast<size_t>(index)); }

bool CMainFrame::event(QEvent* event) {
    if (event->type() == CStatusChangedEvent::kType) {
        const auto* status = static_cast<CStatusChangedEvent*>(event);
        OnStatusChanged(status->Job(), status->Copy());
        return true;
    }
    if (event->type() == CPostedCallEvent::kType) {
        static_cast<CPostedCallEvent*>(event)->Run(*this);
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SaveLayout();
    QMainWindow::closeEvent(event);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && IsJobFile(url.toLocalFile())) {
            event->acceptProposedAction();
            return;
        }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && IsJobFile(url.toLocalFile())) {
            event->acceptProposedAction();
            OpenDocument(url.toLocalFile().toStdString());
            return;
        }
}

#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <filesystem>
#include <map>
#include <memory>

#include "engine/PrintJob.h"
#include "engine/RipHead.h"
#include "panes/FilePane.h"
#include "panes/FolderPane.h"
#include "shell/LayoutValues.h"

class CAdjustmentSession;
class CMyMFCToolbar;
class CTessarinDoc;
class CTessarinView;
class CToolDialog;
class CPrintPane;
class CPrintServices;
class CPropPane;
class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class QMessageBox;
class QToolBar;

// The main window: menu bar, toolbar, the utility toolbar pane, status bar, the folder, file, property and
// print panes around the preview view. It carries the command handlers, receives the job-status events of
// the printing threads and keeps its texts in the interface language.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kMaxRecentFiles = 4;

    CMainFrame(std::filesystem::path configPath, const CLayoutValues& startLayout, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The services the commands reach; null before start-up has created them and after shut-down.
    void SetServices(CPrintServices* services) { m_services = services; }
    // The live corrections of the printing job, for the adjustment tool pane; null after shut-down.
    // The tool pane's controls are made with it and go with it, before the session ends.
    void SetAdjustment(CAdjustmentSession* adjustment);
    CAdjustmentSession* Adjustment() const { return m_adjustment; }
    // The adjustment session's news, posted from the printing threads: the tool pane enables its controls
    // while a job prints and shows the values stored at the end of a job.
    void OnAdjustingChanged(bool adjusting);
    void OnAdjustmentStored(int feed, int bid);

    void ReloadLanguage();
    // Texts, check marks, prompts and tooltips of the commands, from the language files as they are now:
    // what a menu update does before a menu shows.
    void UpdateCommandTexts();

    // Command handlers.
    void OnFileOpen();
    void OnTessarinPrint();
    void OnTessarinStop();
    void On32830();  // pause
    void On32831();  // resume
    void OnFilePrintSetup();
    void OnHeadVoltage();
    void On32826();  // Chinese
    void On32827();  // English
    void OnAppAbout();
    void TogglePane(QWidget* pane);

    // The document: the job file opened last. False, with the operator told why, when it cannot be opened.
    bool OpenDocument(const std::filesystem::path& path);
    const std::filesystem::path& DocumentPath() const { return m_documentPath; }
    CTessarinDoc* Document() const { return m_doc; }
    CToolDialog* ToolDialog() const { return m_toolDialog; }
    QStringList RecentFiles() const;

    // What the printing threads ask for, carried out here on the GUI thread.
    void AddPrintJob(const std::shared_ptr<CPrintJob>& job);
    void OnStatusChanged(const std::shared_ptr<CPrintJob>& job, int32_t nCopy);
    void ShowHead(const RipHead& head);
    void BrowseToFolder(const std::filesystem::path& folder);
    void ReportMessage(const std::string& message);

    // Shows the window in front, as a second start of the program asks.
    void Raise();
    void SaveLayout() const;
    void RestoreLayout();

    QAction* Action(int32_t nId) const;
    QMenu* TopMenu(int index) const;
    CMyMFCToolbar* ToolBar() const { return m_wndToolBar; }
    QToolBar* ToolPaneArea() const { return m_wndToolPane; }
    CFolderPane* FolderPane() const { return m_wndFolderPane; }
    CFilePane* FilePane() const { return m_wndFilePane; }
    CPropPane* PropPane() const { return m_wndPropPane; }
    CPrintPane* PrintPane() const { return m_wndPrintPane; }
    CTessarinView* View() const { return m_view; }
    QMessageBox* MessageBox() const { return m_messageBox; }

signals:
    void DocumentOpened(const QString& path);
    void Raised();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateMenuBar();
    void CreateToolBar();
    // The adjustment tool pane's place: a toolbar area at the top that the tool pane widget goes into.
    void CreateToolPane();
    void CreateStatusBar();
    void CreateFolderPanes(const CLayoutValues& startLayout);
    void CreateView();
    // The document and what follows it: the grid, the panes' folder, the view's picture, the title.
    void CreateDocument();
    void OnDocumentOpened(const QString& path);
    QAction* AddCommand(QMenu* menu, int32_t nId, const char* text);
    void ConnectCommands();
    void SwitchLanguage(const char* name, const char* handler);
    void UpdateRecentFileActions();
    void AddRecentFile(const QString& path);
    void SetDocumentTitle();
    static bool IsJobFile(const QString& path);

    const std::filesystem::path m_configPath;
    CPrintServices* m_services = nullptr;
    CAdjustmentSession* m_adjustment = nullptr;

    CPrintPane* m_wndPrintPane = nullptr;
    QToolBar* m_wndToolPane = nullptr;
    CMyMFCToolbar* m_wndToolBar = nullptr;
    CFolderPane* m_wndFolderPane = nullptr;
    CFilePane* m_wndFilePane = nullptr;
    CPropPane* m_wndPropPane = nullptr;
    CTessarinView* m_view = nullptr;
    CTessarinDoc* m_doc = nullptr;
    CToolDialog* m_toolDialog = nullptr;
    QPointer<QMessageBox> m_messageBox;

    std::vector<QMenu*> m_topMenus;
    std::map<int32_t, QAction*> m_actions;
    std::vector<QAction*> m_recentActions;
    std::filesystem::path m_documentPath;
};

// The main window of the real application with the virtual printer: start-up, commands, the language
// switch, the property grid and its way into the printed copies, a second start, and screenshots.

#include "GuiFixture.h"

#include <QDockWidget>
#include <QHeaderView>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QStatusBar>

#include "panes/FilterShellListCtrl.h"
#include "panes/PropertyGrid.h"
#include "panes/TessarinDoc.h"
#include "panes/TessarinView.h"
#include "shell/CommandTable.h"
#include "shell/IniReader.h"
#include "shell/MyMFCToolbar.h"
#include "shell/PrintServices.h"

using namespace guitest;

namespace {

QString FromIni(const std::filesystem::path& file, const char* section, const char* key) {
    return QString::fromStdString(CIniReader(file).ReadString(section, key, "<missing>"));
}

// Every text the language tables name on the window, in one list, with its section and key.
struct Relabelled {
    QString shown;
    const char* section;
    const char* key;
};

std::vector<Relabelled> RelabelledTexts(CMainFrame* frame) {
    frame->UpdateCommandTexts();
    std::vector<Relabelled> texts;
    texts.push_back({frame->menuBar()->windowTitle(), "MENU", "00"});
    const auto menus = cmdtable::MainMenu();
    for (size_t i = 0; i < menus.size(); ++i) {
        texts.push_back({frame->TopMenu(int(i))->title(), "MENU", menus[i].szKey});
        for (const auto& item : menus[i].items)
            if (item.nId && item.szKey) texts.push_back({frame->Action(item.nId)->text(), "MENU", item.szKey});
    }
    texts.push_back({frame->ToolBar()->windowTitle(), "TOOLBAR", "00"});
    for (const auto& button : cmdtable::MainToolbar()) {
        if (!button.nId) continue;
        texts.push_back({frame->Action(button.nId)->statusTip(), "TOOLBAR", button.szPromptKey});
        texts.push_back({CMyMFCToolbar::ToolTipFor(button.nId), "TOOLBAR", button.szTipKey});
    }
    texts.push_back({frame->FolderPane()->windowTitle(), "PANE", "0"});
    texts.push_back({frame->FilePane()->windowTitle(), "PANE", "1"});
    texts.push_back({frame->PrintPane()->windowTitle(), "PANE", "2"});
    texts.push_back({frame->PropPane()->windowTitle(), "PANE", "3"});
    CPrintList* list = frame->PrintPane()->List();
    for (int c = 0; c < 4; ++c)
        texts.push_back({list->headerItem()->text(c), "PANE", cmdtable::kListColumns[size_t(c)].szKey});
    for (size_t i = 0; i < cmdtable::kRelabelledRows.size(); ++i)
        texts.push_back({frame->PropPane()->Grid()->Name(cmdtable::kRelabelledRows[i]), "PANE", cmdtable::kRowKeys[i]});
    return texts;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { IsolateUserFolders(); }

    void startsWithTheWindowInFrontOfTheServices() {
        ProgramDir dir;
        CommandLine cl;
        cl.nXCopies = 2;
        cl.nYCopies = 3;
        cl.nYSpacing = 5;
        cl.jobFiles.push_back(dir.WriteJob("start.prn", 16, 10));
        auto app = dir.Start(cl);
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        QVERIFY(frame->isVisible());
        QVERIFY(app->StartupProblem().empty());
        QVERIFY(app->Services() && app->Services()->Server());
        QCOMPARE(frame->windowTitle(), QStringLiteral("start.prn - Tessarin"));
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("tessarin"));
        // The layout options are the grid's start values; the header of the opened file is shown.
        CPropPane* pane = frame->PropPane();
        QCOMPARE(pane->GetXCopies(), 2);
        QCOMPARE(pane->GetXSpacing(), 0);
        QCOMPARE(pane->GetYCopies(), 3);
        QCOMPARE(pane->GetYSpacing(), 5);
        QCOMPARE(pane->Grid()->Value(CPropPane::ROW_YCOPIES), 3);
        QCOMPARE(pane->Grid()->Value(CPropPane::ROW_WIDTH), 64);
        QCOMPARE(pane->Grid()->Value(CPropPane::ROW_HEIGHT), 10);
        QCOMPARE(pane->Grid()->Value(CPropPane::ROW_BYTEPERLINE), 16);
        QCOMPARE(frame->RecentFiles().value(0), QString::fromStdString((dir.Path() / "start.prn").string()));
        qInfo("window shown %.1f ms after the application object was made", app->StartupMilliseconds());

        // The panes are in their places.
        QCOMPARE(frame->dockWidgetArea(frame->FolderPane()), Qt::LeftDockWidgetArea);
        QCOMPARE(frame->dockWidgetArea(frame->FilePane()), Qt::LeftDockWidgetArea);
        QCOMPARE(frame->dockWidgetArea(pane), Qt::RightDockWidgetArea);
        QCOMPARE(frame->dockWidgetArea(frame->PrintPane()), Qt::BottomDockWidgetArea);
        QCOMPARE(frame->toolBarArea(frame->ToolPaneArea()), Qt::TopToolBarArea);
        QCOMPARE(frame->PrintPane()->Tabs()->tabText(0), QStringLiteral("Progress"));
        QVERIFY(!frame->Action(cmd::ID_HEAD_SETTINGS)->isEnabled());
        QCOMPARE(frame->ToolBar()->iconSize(), QSize(32, 32));
        QCOMPARE(frame->ToolBar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QCOMPARE(frame->Action(cmd::ID_TESSARIN_PRINT)->iconText(), QStringLiteral("打印"));
    }

    void theRecentFileListKeepsTheLastFourNewestFirst() {
        ProgramDir dir;
        auto app = dir.Start();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        QStringList opened;
        for (const char* name : {"r1.prn", "r2.prn", "r3.prn", "r4.prn", "r5.prn", "r3.prn"}) {
            const auto path = dir.Path() / name;
            if (!std::filesystem::exists(path)) dir.WriteJob(name, 16, 2);
            QVERIFY(frame->OpenDocument(path));
            opened.removeAll(QString::fromStdString(path.string()));
            opened.prepend(QString::fromStdString(path.string()));
        }
        QCOMPARE(frame->RecentFiles(), opened.mid(0, 4));
        QVERIFY(!frame->Action(cmd::ID_FILE_MRU_FILE1)->isVisible());
    }

    void aJobFileDroppedOntoTheWindowBecomesTheDocument() {
        ProgramDir dir;
        auto app = dir.Start();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        const auto job = dir.WriteJob("dropped.PRT", 16, 8);
        dir.WriteJob("notes.txt", 16, 8);
        for (const auto& [file, accepted] : {std::pair{dir.Path() / "notes.txt", false}, std::pair{job, true}}) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
            QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(frame, &enter);
            QCOMPARE(enter.isAccepted(), accepted);
            if (!accepted) continue;
            QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(frame, &drop);
        }
        QCOMPARE(frame->DocumentPath(), job);
        QCOMPARE(frame->windowTitle(), QStringLiteral("dropped.PRT - Tessarin"));
        QCOMPARE(frame->PropPane()->Grid()->Value(CPropPane::ROW_HEIGHT), 8);

        // A file that is no job is refused with a message; the document stays.
        WriteText(dir.Path() / "short.prn", "too short");
        QVERIFY(!frame->OpenDocument(dir.Path() / "short.prn"));
        QCOMPARE(frame->DocumentPath(), job);
        QTRY_VERIFY(frame->MessageBox() && frame->MessageBox()->isVisible());
    }

    void aMissingPrinterLibraryIsToldAndNothingStops() {
        ProgramDir dir;
        dir.SetPrinterDll("NoSuchPrinter");
        auto app = dir.Start();
        QVERIFY(app);
        QVERIFY(app->StartupProblem().find("NoSuchPrinter") != std::string::npos);
        QTRY_VERIFY(app->MainFrame()->MessageBox() && app->MainFrame()->MessageBox()->isVisible());
        QVERIFY(app->MainFrame()->MessageBox()->text().contains(QStringLiteral("NoSuchPrinter")));
        QVERIFY(app->MainFrame()->isVisible());
        QVERIFY(app->Services());
    }

    void keysAndCommandsDoWhatTheMenuSays() {
        ProgramDir dir;
        dir.SetPrinterSpeed(100);
        auto app = dir.Start();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        CPrintList* list = frame->PrintPane()->List();
        QVERIFY(QTest::qWaitForWindowActive(frame));

        // Print with no open job does nothing.
        QTest::keyClick(frame, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(list->RowCount(), 0);
        QVERIFY(frame->OpenDocument(dir.WriteJob("keys.prn", 32, 500)));
        QTest::keyClick(frame, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(list->RowCount(), 1);
        const auto job = list->JobAt(0);
        QTRY_COMPARE_WITH_TIMEOUT(job->GetStatus(), int32_t(JOB_OUTPUT), 10000);
        SelectOnly(list, {job});
        QTest::keyClick(frame, Qt::Key_S, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(list, job), QStringLiteral("输出取消"), 5000);
        // Nothing wrote over the job file.
        QCOMPARE(std::filesystem::file_size(dir.Path() / "keys.prn"), size_t(48 + 32 * 4 * 500));

        frame->Action(cmd::ID_FILE_PRINT_SETUP)->trigger();
        QVERIFY(ReadText(dir.Output() / "settings.log").find("SettingDialog() = 1") != std::string::npos);

        // A pane toggle hides and shows its pane, and its check mark follows.
        QAction* folder = frame->Action(cmd::ID_VIEW_FOLDER);
        frame->UpdateCommandTexts();
        QVERIFY(folder->isChecked());
        folder->trigger();
        QVERIFY(frame->FolderPane()->isHidden());
        frame->UpdateCommandTexts();
        QVERIFY(!folder->isChecked());
        folder->trigger();
        QVERIFY(!frame->FolderPane()->isHidden());
        frame->UpdateCommandTexts();
        QVERIFY(folder->isChecked());
        QVERIFY(!frame->Action(cmd::ID_VIEW_TOOLBAR)->isCheckable());

        // Prompts for the four toolbar commands only.
        frame->UpdateCommandTexts();
        QCOMPARE(frame->Action(cmd::ID_TESSARIN_PRINT)->statusTip(), FromIni(dir.Path() / "Language/chinese.ini", "TOOLBAR", "1"));
        QVERIFY(frame->Action(cmd::ID_PAUSE)->statusTip().isEmpty());
        QVERIFY(CMyMFCToolbar::ToolTipFor(cmd::ID_APP_ABOUT).isEmpty());
    }

    void theLanguageSwitchRelabelsEveryElementOfTheTables() {
        ProgramDir dir;
        auto app = dir.Start();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        CPrintList* list = frame->PrintPane()->List();
        auto job = std::make_shared<CPrintJob>("/jobs/waiting.prn", 1);
        frame->AddPrintJob(job);

        for (const char* language : {"english", "chinese"}) {
            frame->Action(QString::fromLatin1(language) == QLatin1String("english") ? cmd::ID_LANGUAGE_ENGLISH
                                                                                    : cmd::ID_LANGUAGE_CHINESE)
                ->trigger();
            const auto languageIni = dir.Path() / "Language" / "Language.ini";
            QCOMPARE(FromIni(languageIni, "LAN", "Language"), QString::fromLatin1(language));
            const auto file = dir.Path() / "Language" / (std::string(language) + ".ini");
            for (const auto& text : RelabelledTexts(frame)) {
                const QString expected = FromIni(file, text.section, text.key);
                QVERIFY2(expected != QLatin1String("<missing>"), text.key);
                QVERIFY2(text.shown == expected, qPrintable(QStringLiteral("%1 %2: \"%3\" is not \"%4\"")
                                                                .arg(text.section, text.key, text.shown, expected)));
            }
            frame->OnStatusChanged(job, 1);
            QCOMPARE(StateOf(list, job), FromIni(file, "PANE", "28"));
            QCOMPARE(ChooseFromContextMenu(list, cmd::ID_PRINTPANESET_DELETESOURCE).text, FromIni(file, "PANE", "216"));
        }
        QCOMPARE(frame->Action(cmd::ID_PAUSE)->text(), QStringLiteral("暂停(&P)"));

        // Without the language file every relabelled text is a single blank; the job states and the list's
        // own texts fall back to their built-in texts, the items without a key keep theirs.
        std::filesystem::remove(dir.Path() / "Language" / "english.ini");
        frame->Action(cmd::ID_LANGUAGE_ENGLISH)->trigger();
        for (const auto& text : RelabelledTexts(frame))
            QVERIFY2(text.shown == QLatin1String(" "), qPrintable(QStringLiteral("%1 %2: \"%3\"").arg(text.section, text.key, text.shown)));
        frame->OnStatusChanged(job, 1);
        QCOMPARE(StateOf(list, job), QStringLiteral("等待"));
        QCOMPARE(ScheduleOf(list, job), QStringLiteral("打印份数: 1\t进度: 0% "));
        QCOMPARE(frame->Action(cmd::ID_PAUSE)->text(), QStringLiteral("暂停(&P)"));
        QCOMPARE(frame->Action(cmd::ID_LANGUAGE_ENGLISH)->text(), QStringLiteral("English"));

        // A file with only the print pane's caption relabels that and blanks the other two.
        WriteText(dir.Path() / "Language" / "english.ini", "[PANE]\n2=Jobs\n");
        frame->ReloadLanguage();
        QCOMPARE(frame->PrintPane()->windowTitle(), QStringLiteral("Jobs"));
        QCOMPARE(frame->FolderPane()->windowTitle(), QStringLiteral(" "));
        QCOMPARE(frame->FilePane()->windowTitle(), QStringLiteral(" "));
    }

    void theGridRefusesUnusableValuesAndItsChangesReachTheNextCopy() {
        ProgramDir dir;
        dir.SetPrinterSpeed(150);
        auto app = dir.Start();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        CPropPane* pane = frame->PropPane();
        CPropertyGrid* grid = pane->Grid();

        // The eleven rows: names, descriptions and which the operator may edit.
        QCOMPARE(grid->RowCount(), 11);
        QCOMPARE(grid->Name(CPropPane::ROW_XDPI), QStringLiteral("X-DPI"));
        QCOMPARE(grid->Description(CPropPane::ROW_WIDTH), QStringLiteral("输出图像的宽度"));
        for (int row = 0; row < grid->RowCount(); ++row) QCOMPARE(grid->IsEditable(row), row >= CPropPane::ROW_XCOPIES);
        grid->SelectRow(CPropPane::ROW_YDPI);
        QVERIFY(grid->DescriptionText().contains(QStringLiteral("输出图像的Y方向分辨率")));

        QSignalSpy refused(grid, &CPropertyGrid::ValueRefused);
        QSignalSpy repaint(pane, &CPropPane::PreviewInvalidated);
        const struct {
            int row;
            const char* text;
        } refusals[] = {{CPropPane::ROW_XCOPIES, "0"}, {CPropPane::ROW_YCOPIES, "-2"},
                        {CPropPane::ROW_YSPACING, "-1"}, {CPropPane::ROW_XCOPIES, "many"},
                        {CPropPane::ROW_XSPACING, "99999999999"}};
        for (const auto& r : refusals) {
            const int32_t before = grid->Value(r.row);
            grid->EditValue(r.row, QString::fromLatin1(r.text));
            QCOMPARE(grid->Value(r.row), before);
            QCOMPARE(grid->Table()->item(r.row, 1)->text(), QString::number(before));
        }
        QCOMPARE(refused.count(), 5);
        QCOMPARE(repaint.count(), 0);
        QCOMPARE(pane->GetXCopies(), 1);
        const auto boxes = grid->findChildren<QMessageBox*>(QStringLiteral("PropertyRefusal"));
        QVERIFY(!boxes.isEmpty() && boxes.last()->isVisible());
        for (auto* box : boxes) box->close();
        grid->EditValue(CPropPane::ROW_XSPACING, QStringLiteral("-4"));
        QCOMPARE(pane->GetXSpacing(), -4);
        QCOMPARE(repaint.count(), 1);
        grid->EditValue(CPropPane::ROW_XSPACING, QStringLiteral("0"));

        // Copy 1 prints with one X copy; X copies 3 set while it prints shows in copy 2.
        QVERIFY(frame->OpenDocument(dir.WriteJob("grid.prn", 32, 150)));
        grid->EditValue(CPropPane::ROW_YCOPIES, QStringLiteral("2"));
        frame->OnTessarinPrint();
        const auto job = frame->PrintPane()->List()->JobAt(0);
        // Lines of copy 1 are on their way, so its layout has been read.
        QTRY_VERIFY_WITH_TIMEOUT(job->GetProgress() > 0, 10000);
        grid->EditValue(CPropPane::ROW_XCOPIES, QStringLiteral("3"));
        QCOMPARE(pane->GetXCopies(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(
            std::filesystem::exists(dir.Output() / "session-0002" / "summary.ini") && job->GetStatus() == JOB_OUTPUT_END,
            15000);
        const auto bytesOf = [&](const char* session) {
            return CIniReader(dir.Output() / session / "summary.ini").ReadInt("Session", "BytePerLine", 0);
        };
        // A copy's line is byteperline + X spacing - 8 bytes wide per X copy.
        QCOMPARE(bytesOf("session-0001"), 24);
        QVERIFY2(bytesOf("session-0002") >= 3 * 24, qPrintable(QString::number(bytesOf("session-0002"))));
    }

    void aSecondStartHandsOverToTheRunningInstance() {
        ProgramDir dir;
        auto app = dir.Start();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        QSignalSpy raised(frame, &CMainFrame::Raised);
        QSignalSpy opened(frame, &CMainFrame::DocumentOpened);
        const auto job = dir.WriteJob("handed.prn", 16, 4);

        QProcess second;
        second.setProgram(QStringLiteral(TESSARIN_BINARY_DIR "/Tessarin"));
        second.setArguments({QStringLiteral("--home"), QString::fromStdString(dir.Path().string()),
                             QString::fromStdString(job.string())});
        second.start();
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 15000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(raised.count(), 1);
        QTRY_COMPARE(opened.count(), 1);
        QCOMPARE(frame->DocumentPath(), job);
    }

    // The document, the view, the panes and the grid as one window: opening a job makes the previews of
    // its folder, the file pane lists them, the view tiles the picture as the grid says, and clicking
    // another preview opens that job.
    void theDocumentDrivesTheViewTheGridAndThePanes() {
        ProgramDir dir;
        std::filesystem::create_directories(dir.Path() / "jobs");
        const auto poster = dir.WriteJob("jobs/poster.prn", 400, 1200);
        const auto banner = dir.WriteJob("jobs/banner.prt", 32, 200);
        auto app = dir.Start();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        frame->resize(1280, 800);
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        CPropertyGrid* grid = frame->PropPane()->Grid();
        grid->EditValue(CPropPane::ROW_XCOPIES, QStringLiteral("3"));
        grid->EditValue(CPropPane::ROW_YCOPIES, QStringLiteral("2"));
        QCOMPARE(frame->View()->XCopies(), 3);
        QCOMPARE(frame->View()->YCopies(), 2);

        QVERIFY(frame->OpenDocument(poster));
        QCOMPARE(frame->View()->DocumentPath(), QString::fromStdString(poster.string()));
        QCOMPARE(frame->windowTitle(), QStringLiteral("poster.prn - Tessarin"));
        QTRY_VERIFY_WITH_TIMEOUT(!frame->Document()->PreviewsPending(), 15000);
        QVERIFY(std::filesystem::exists(poster.string() + ".bmp"));
        QVERIFY(std::filesystem::exists(banner.string() + ".bmp"));
        CFilterShellListCtrl* files = frame->FilePane()->List();
        QTRY_COMPARE(files->ListedNames().size(), 2);
        QStringList names = files->ListedNames();
        names.sort();
        QCOMPARE(names, (QStringList{"banner.prt.bmp", "poster.prn.bmp"}));

        const QString folder = qEnvironmentVariable("TESSARIN_SCREENSHOT_DIR", QDir::tempPath());
        QDir().mkpath(folder);
        QTest::qWait(50);
        QVERIFY(frame->grab().save(folder + QStringLiteral("/main-window-preview-3x2.png")));

        QSignalSpy opened(frame, &CMainFrame::DocumentOpened);
        QModelIndex bannerRow;
        const QModelIndex root = files->rootIndex();
        for (int row = 0; row < files->model()->rowCount(root); ++row)
            if (files->model()->index(row, 0, root).data().toString() == QLatin1String("banner.prt.bmp"))
                bannerRow = files->model()->index(row, 0, root);
        QVERIFY(bannerRow.isValid());
        files->scrollTo(bannerRow);
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualRect(bannerRow).center());
        QTRY_COMPARE(opened.count(), 1);
        QCOMPARE(frame->DocumentPath(), banner);
    }

    void screenshotsInChineseAndEnglishWithAJobPrinting() {
        ProgramDir dir;
        dir.SetPrinterSpeed(60);
        auto app = dir.Start();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        frame->resize(1280, 800);
        CPrintList* list = frame->PrintPane()->List();
        // The network job first: it waits for the printer while a queued copy prints.
        QVERIFY(SendJob(dir.Port(), JobBytes(32, 30)));
        QTRY_VERIFY_WITH_TIMEOUT(list->RowCount() == 1 && list->JobAt(0)->GetStatus() == JOB_OUTPUT_END, 10000);
        QVERIFY(frame->OpenDocument(dir.WriteJob("poster.prn", 48, 600)));
        frame->OnTessarinPrint();
        QTRY_VERIFY_WITH_TIMEOUT(list->JobAt(1)->GetProgress() >= 30, 15000);
        frame->PropPane()->Grid()->SelectRow(CPropPane::ROW_XCOPIES);
        const QString folder = qEnvironmentVariable("TESSARIN_SCREENSHOT_DIR", QDir::tempPath());
        QDir().mkpath(folder);
        for (const auto& [id, name] : {std::pair{cmd::ID_LANGUAGE_CHINESE, "main-window-chinese.png"},
                                       std::pair{cmd::ID_LANGUAGE_ENGLISH, "main-window-english.png"}}) {
            frame->Action(id)->trigger();
            frame->OnStatusChanged(list->JobAt(0), 1);
            frame->OnStatusChanged(list->JobAt(1), 1);
            QTest::qWait(50);
            const QString path = folder + QLatin1Char('/') + QLatin1String(name);
            QVERIFY(frame->grab().save(path));
            QVERIFY(QFileInfo(path).size() > 10000);
        }
        frame->Action(cmd::ID_LANGUAGE_CHINESE)->trigger();
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"

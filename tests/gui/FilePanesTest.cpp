// The folder and file panes: which entries the file list shows, a preview selected in it opening its job,
// both panes following the document's folder, and their popup menu.

#include <QtTest>

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QSignalSpy>
#include <QTreeView>

#include "PaneTestSupport.h"
#include "engine/RipFile.h"
#include "panes/FilePane.h"
#include "panes/FilterShellListCtrl.h"
#include "panes/FolderPane.h"
#include "panes/TessarinDoc.h"

using namespace panetest;

namespace {

QStringList Sorted(QStringList names) {
    names.sort();
    return names;
}

QModelIndex RowNamed(const CFilterShellListCtrl& list, const QString& name) {
    const QModelIndex root = list.rootIndex();
    for (int row = 0; row < list.model()->rowCount(root); ++row) {
        const QModelIndex index = list.model()->index(row, 0, root);
        if (index.data().toString() == name) return index;
    }
    return {};
}

void Click(CFilterShellListCtrl& list, const QString& name) {
    const QModelIndex index = RowNamed(list, name);
    QVERIFY2(index.isValid(), qPrintable(name));
    list.scrollTo(index);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(index).center());
}

// A folder with a job and its preview, a note and a subfolder.
struct JobFolder {
    QTemporaryDir dir;
    QString job = dir.filePath("job.prn");

    JobFolder() {
        WriteJob(job, Head(64, 32));
        CRipFile::MakePreview(Fs(job), 1000, 1);
        WriteText(dir.filePath("notes.txt"), "notes");
        QDir(dir.path()).mkdir("sub");
    }
};

}  // namespace

class FilePanesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { m_startFolder = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(m_startFolder); }

    void onlyJobPreviewsAreListed_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("listed");
        QTest::newRow("preview of a .prn") << "job.prn.bmp" << true;
        QTest::newRow("preview of a .prt") << "job.prt.bmp" << true;
        QTest::newRow("upper case") << "JOB.PRT.BMP" << true;
        QTest::newRow("mixed case") << "Job.Prn.Bmp" << true;
        QTest::newRow("the name is the suffix") << "prn.bmp" << true;
        QTest::newRow("suffix without its own dot") << "xprn.bmp" << true;
        QTest::newRow("a plain picture") << "job.bmp" << false;
        QTest::newRow("suffix in the middle") << "prn.bmp.txt" << false;
        QTest::newRow("the job itself") << "job.prn" << false;
        QTest::newRow("another picture type") << "job.prn.png" << false;
        QTest::newRow("short name") << "n.bmp" << false;
        QTest::newRow("only the extension") << ".bmp" << false;
        QTest::newRow("no dot") << "jobprnbmp" << false;
        QTest::newRow("text") << "notes.txt" << false;
    }
    void onlyJobPreviewsAreListed() {
        QFETCH(QString, name);
        QFETCH(bool, listed);
        QCOMPARE(CFilterShellListCtrl::IsListedFile(name), listed);
    }

    void theListShowsSubfoldersAndPreviews() {
        JobFolder folder;
        CFilePane files;
        files.ShowFolder(folder.dir.path());
        QCOMPARE(files.GetCurrentFolder(), folder.dir.path());
        QTRY_COMPARE(Sorted(files.List()->ListedNames()), (QStringList{"job.prn.bmp", "sub"}));
    }

    void selectingAPreviewOpensItsJob() {
        JobFolder folder;
        CTessarinDoc doc;
        CFilePane files;
        QObject::connect(&files, &CFilePane::openRequested, &doc, &CTessarinDoc::OnOpenDocument);
        QSignalSpy requested(&files, &CFilePane::openRequested);
        QSignalSpy head(&doc, &CTessarinDoc::headLoaded);
        files.resize(300, 300);
        files.show();
        QVERIFY(QTest::qWaitForWindowExposed(&files));
        files.ShowFolder(folder.dir.path());
        QTRY_COMPARE(files.List()->ListedNames().size(), 2);

        Click(*files.List(), "sub");  // a folder opens nothing
        QCOMPARE(requested.count(), 0);

        Click(*files.List(), "job.prn.bmp");
        QCOMPARE(requested.count(), 1);
        QCOMPARE(requested.at(0).at(0).toString(), folder.job + ".bmp");
        QCOMPARE(doc.GetPathName(), folder.job);
        QCOMPARE(head.count(), 1);
        QVERIFY(head.at(0).at(0).value<RipHead>() == CRipFile::ReadHead(Fs(folder.job)).head);
        QTRY_VERIFY(!doc.PreviewsPending());
    }

    void bothPanesFollowTheDocumentsFolder() {
        JobFolder folder;
        CTessarinDoc doc;
        CFolderPane folders;
        CFilePane files;
        folders.LinkTo(&files);
        QObject::connect(&doc, &CTessarinDoc::folderChanged, &files, &CFilePane::BrowseToFolder);
        QSignalSpy browsed(&files, &CFilePane::browsedTo);

        QVERIFY(doc.OnOpenDocument(folder.job));
        QCOMPARE(files.GetCurrentFolder(), folder.dir.path());
        QCOMPARE(folders.SelectedFolder(), folder.dir.path());
        QVERIFY(folders.Tree()->isExpanded(folders.Tree()->currentIndex()));
        QTRY_COMPARE(Sorted(files.List()->ListedNames()), (QStringList{"job.prn.bmp", "sub"}));
        QCOMPARE(browsed.count(), 1);
        folders.resize(300, 200);
        folders.show();
        QVERIFY(QTest::qWaitForWindowExposed(&folders));
        QTreeView& tree = *folders.Tree();
        QTRY_VERIFY(tree.viewport()->rect().contains(tree.visualRect(tree.currentIndex())));

        // Opening another job of the same folder moves nothing.
        WriteJob(folder.dir.filePath("second.prn"), Head(16, 16));
        QVERIFY(doc.OnOpenDocument(folder.dir.filePath("second.prn")));
        QCOMPARE(browsed.count(), 1);

        // A folder chosen in the tree shows in the list.
        folders.SelectFolder(folder.dir.filePath("sub"));
        QCOMPARE(files.GetCurrentFolder(), folder.dir.filePath("sub"));
        QTRY_VERIFY(!doc.PreviewsPending());
    }

    void thePanesPopUpTheExplorerMenu() {
        JobFolder folder;
        CFolderPane folders;
        CFilePane files;
        folders.LinkTo(&files);
        for (QWidget* pane : {static_cast<QWidget*>(&folders), static_cast<QWidget*>(&files)}) {
            pane->resize(300, 300);
            pane->show();
            QVERIFY(QTest::qWaitForWindowExposed(pane));
        }
        folders.SelectFolder(folder.dir.path());
        QTRY_COMPARE(files.List()->ListedNames().size(), 2);

        const QStringList items{"打开(&O)", "打开方式(&W)....", "编译(&C)", "剪切(&T)\tCtrl+X", "复制(&C)\tCtrl+C",
                                "删除(&R)", "属性(&R)"};
        QAbstractItemView* views[] = {folders.Tree(), files.List()};
        for (QAbstractItemView* view : views) {
            emit view->customContextMenuRequested(QPoint(10, 10));
            QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QCOMPARE(menu->title(), QString("资源管理器"));
            QStringList texts;
            for (QAction* action : menu->actions()) texts << action->text();
            QCOMPARE(texts, items);
            menu->close();
            QTRY_VERIFY(!QApplication::activePopupWidget());
        }
        // The tree selects the folder under the mouse.
        QCOMPARE(folders.Tree()->currentIndex(), folders.Tree()->indexAt(QPoint(10, 10)));
    }

private:
    QString m_startFolder;
};

QTEST_MAIN(FilePanesTest)
#include "FilePanesTest.moc"

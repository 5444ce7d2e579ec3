// The job document: opening a job (its folder's missing previews, made off the window's thread, the folder,
// the header, the path and title), printing it, and what a failed or repeated open leaves.

#include <QtTest>

#include <QDir>
#include <QSignalSpy>

#include <memory>
#include <utility>
#include <vector>

#include "PaneTestSupport.h"
#include "engine/BmpFile.h"
#include "engine/RipFile.h"
#include "panes/TessarinDoc.h"

using namespace panetest;

namespace {

RipHead Derived(const QString& jobPath) { return CRipFile::ReadHead(Fs(jobPath)).head; }

QStringList FileNames(const QString& folder) { return QDir(folder).entryList(QDir::Files, QDir::Name); }

}  // namespace

class TessarinDocTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { m_startFolder = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(m_startFolder); }

    void openingAJobMakesOnlyTheMissingPreviewsOfItsFolder() {
        QTemporaryDir dir;
        const QString a = dir.filePath("a.prn"), b = dir.filePath("b.prt");
        WriteJob(a, Head(60, 40));
        WriteJob(b, Head(80, 50));
        WriteText(dir.filePath("a.prn.bmp"), "the preview made earlier");  // kept, even though it is no picture

        CTessarinDoc doc;
        QSignalSpy ready(&doc, &CTessarinDoc::previewReady);
        QSignalSpy progress(&doc, &CTessarinDoc::previewProgress);
        QSignalSpy idle(&doc, &CTessarinDoc::previewsIdle);
        QSignalSpy folder(&doc, &CTessarinDoc::folderChanged);
        QSignalSpy head(&doc, &CTessarinDoc::headLoaded);
        QSignalSpy title(&doc, &CTessarinDoc::titleChanged);
        QVERIFY(doc.OnOpenDocument(a));

        QTRY_COMPARE(idle.count(), 1);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(ready.at(0).at(0).toString(), dir.filePath("b.prt.bmp"));
        QCOMPARE(progress.last(), (QVariantList{1, 1}));
        QCOMPARE(FileNames(dir.path()), (QStringList{"a.prn", "a.prn.bmp", "b.prt", "b.prt.bmp"}));
        QCOMPARE(ReadBytes(dir.filePath("a.prn.bmp")), QByteArray("the preview made earlier"));
        const auto picture = CBmpFile::Read(Fs(dir.filePath("b.prt.bmp")));
        QVERIFY(picture);
        QCOMPARE(picture->Width(), 80u / 5);  // step 80 ÷ 1000 + 5 in a view not yet shown
        QCOMPARE(picture->Height(), 50u / 5);

        QCOMPARE(folder.count(), 1);
        QCOMPARE(folder.at(0).at(0).toString(), dir.path());
        QCOMPARE(QDir::currentPath(), dir.path());
        QCOMPARE(head.count(), 1);
        QVERIFY(head.at(0).at(0).value<RipHead>() == Derived(a));
        QCOMPARE(doc.GetPathName(), a);
        QCOMPARE(title.last().at(0).toString(), QString("a.prn"));
        QCOMPARE(doc.WindowTitle(), QString("a.prn - Tessarin"));
    }

    void openingAPreviewOpensAndPrintsItsJob() {
        QTemporaryDir dir;
        const QString job = dir.filePath("job.prn");
        WriteJob(job, Head(120, 30, 720, 1440));
        WriteJob(dir.filePath("other.prn"), Head(64, 64));

        std::vector<std::shared_ptr<CPrintJob>> queued;
        CTessarinDoc doc;
        doc.SetJobSink([&](const std::shared_ptr<CPrintJob>& j) { queued.push_back(j); });
        doc.SetYCopiesSource([] { return 5; });
        QSignalSpy head(&doc, &CTessarinDoc::headLoaded);
        QSignalSpy opened(&doc, &CTessarinDoc::documentOpened);
        QVERIFY(doc.OnOpenDocument(dir.filePath("job.prn.bmp")));
        QCOMPARE(doc.GetPathName(), job);
        QCOMPARE(opened.at(0).at(0).toString(), job);
        QVERIFY(head.at(0).at(0).value<RipHead>() == Derived(job));

        const auto printed = doc.Print(3);
        QVERIFY(printed);
        QCOMPARE(QString::fromStdString(printed->GetName()), job);
        QCOMPARE(printed->GetCopies(), 3);
        QCOMPARE(printed->GetStatus(), int(JOB_WAIT));
        const auto command = doc.OnPrint();  // the print command takes the Y copies
        QVERIFY(command);
        QCOMPARE(command->GetCopies(), 5);
        QVERIFY(queued == (std::vector<std::shared_ptr<CPrintJob>>{printed, command}));

        // The same path again (also written another way) is a no-op: nothing is read or announced again.
        QSignalSpy anything(&doc, &CTessarinDoc::pathChanged);
        QVERIFY(doc.OnOpenDocument(job));
        QVERIFY(doc.OnOpenDocument(dir.path() + "/./job.prn"));
        QCOMPARE(head.count(), 1);
        QCOMPARE(anything.count(), 0);
        QTRY_VERIFY(!doc.PreviewsPending());
    }

    void jobPathOfAPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("job");
        QTest::newRow("preview") << "/jobs/job.prn.bmp" << "/jobs/job.prn";
        QTest::newRow("job") << "/jobs/job.prt" << "/jobs/job.prt";
        QTest::newRow("preview in upper case") << "/jobs/JOB.PRN.BMP" << "/jobs/JOB.PRN";
        QTest::newRow("cut at the first .bmp") << "/jobs/a.bmp.prn.bmp" << "/jobs/a";
        QTest::newRow("a folder named .bmp") << "/scans.bmp/job.prn" << "/scans.bmp/job.prn";
    }
    void jobPathOfAPath() {
        QFETCH(QString, path);
        QFETCH(QString, job);
        QCOMPARE(CTessarinDoc::JobPathFor(path), job);
    }

    void titleAndPrintWithoutADocument() {
        CTessarinDoc doc;
        QCOMPARE(doc.WindowTitle(), QString("无标题 - Tessarin"));
        int queued = 0;
        doc.SetJobSink([&](const std::shared_ptr<CPrintJob>&) { ++queued; });
        QSignalSpy title(&doc, &CTessarinDoc::titleChanged);
        QVERIFY(doc.OnNewDocument());
        QCOMPARE(title.last().at(0).toString(), QString("Velkora"));
        QCOMPARE(doc.WindowTitle(), QString("Velkora - Tessarin"));
        QVERIFY(!doc.Print(3));
        QVERIFY(!doc.OnPrint());
        QCOMPARE(queued, 0);
    }

    void aFailedOpenKeepsTheOpenJob() {
        QTemporaryDir dir;
        const QString job = dir.filePath("job.prn");
        WriteJob(job, Head(40, 40));
        QDir(dir.path()).mkdir("folder.prn");
        CTessarinDoc doc;
        QVERIFY(doc.OnOpenDocument(job));

        struct Case {
            QString path;
            QString message;
        } cases[] = {
            {dir.filePath("missing.prn"), dir.filePath("missing.prn") + "\n无法找到此文件。\n请确认提供了正确的路径和文件名。"},
            {dir.filePath("folder.prn"), "打开文档失败。"},
            {QString(), "打开文档失败。"},
        };
        for (const Case& c : cases) {
            QSignalSpy failed(&doc, &CTessarinDoc::openFailed);
            QSignalSpy unreadable(&doc, &CTessarinDoc::headUnreadable);
            QVERIFY2(!doc.OnOpenDocument(c.path), qPrintable(c.path));
            QCOMPARE(failed.count(), 1);
            QCOMPARE(failed.at(0).at(0).toString(), c.message);
            QCOMPARE(unreadable.count(), c.path.isEmpty() ? 0 : 1);
            QCOMPARE(doc.GetPathName(), job);
            QCOMPARE(doc.GetTitle(), QString("job.prn"));
        }
        QTRY_VERIFY(!doc.PreviewsPending());
    }

    void previewsFollowTheRipColorOfTheMomentAndTheViewWidth() {
        QTemporaryDir dir;
        WriteText(dir.filePath("Tessarin.ini"), "[setting]\nRIPCOLOR=2\n");
        // Plane 0 alone is inked: cyan when the planes are cyan, magenta, yellow, black; black by default.
        const Ink planeZero = [](uint32_t, uint32_t, uint32_t p) { return uint8_t(p == 0 ? 255 : 0); };
        QDir(dir.path()).mkdir("first");
        QDir(dir.path()).mkdir("second");
        WriteJob(dir.filePath("first/job.prn"), Head(100, 20), planeZero);
        WriteJob(dir.filePath("second/job.prn"), Head(100, 20), planeZero);

        CTessarinDoc doc(Fs(dir.filePath("Tessarin.ini")));
        doc.SetViewWidthSource([] { return 10; });  // step 100 ÷ 10 + 5 = 15
        QSignalSpy idle(&doc, &CTessarinDoc::previewsIdle);
        // The next job is opened from the signal that the previews are done, as a window may do.
        bool secondOpened = false;
        connect(&doc, &CTessarinDoc::previewsIdle, this, [&] {
            if (std::exchange(secondOpened, true)) return;
            WriteText(dir.filePath("Tessarin.ini"), "[setting]\n");
            QVERIFY(doc.OnOpenDocument(dir.filePath("second/job.prn")));
        });
        QVERIFY(doc.OnOpenDocument(dir.filePath("first/job.prn")));
        QTRY_COMPARE(idle.count(), 2);

        const auto first = CBmpFile::Read(Fs(dir.filePath("first/job.prn.bmp")));
        const auto second = CBmpFile::Read(Fs(dir.filePath("second/job.prn.bmp")));
        QVERIFY(first && second);
        QCOMPARE(first->Width(), 100u / 15);
        QVERIFY(first->At(0, 0) == (Rgb{0, 255, 255}));
        QVERIFY(second->At(0, 0) == (Rgb{0, 0, 0}));
    }

    void previewsOfManyLargeJobsComeOneByOneAfterTheOpen() {
        QTemporaryDir dir;
        const int jobs = 12;
        for (int i = 0; i < jobs; ++i)  // 96 MB each on paper, nothing on disk
            WriteSparseJob(dir.filePath(QString("job%1.prn").arg(i, 2, 10, QChar('0'))), Head(8000, 3000));
        const QString opened = dir.filePath("job11.prn");

        CTessarinDoc doc;
        QSignalSpy ready(&doc, &CTessarinDoc::previewReady);
        QSignalSpy progress(&doc, &CTessarinDoc::previewProgress);
        QSignalSpy idle(&doc, &CTessarinDoc::previewsIdle);
        QSignalSpy head(&doc, &CTessarinDoc::headLoaded);
        QVERIFY(doc.OnOpenDocument(opened));
        // The document is open before any preview is announced: they come through the event loop.
        QCOMPARE(head.count(), 1);
        QCOMPARE(doc.GetPathName(), opened);
        QVERIFY(doc.PreviewsPending());
        QCOMPARE(ready.count(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(idle.count(), 1, 60000);
        QVERIFY(!doc.PreviewsPending());
        QCOMPARE(ready.count(), jobs);
        QCOMPARE(ready.at(0).at(0).toString(), opened + ".bmp");  // the open job's own picture first
        QCOMPARE(progress.first(), (QVariantList{0, jobs}));
        for (int i = 1; i < progress.count(); ++i) QCOMPARE(progress.at(i), (QVariantList{i, jobs}));
        for (const auto& signal : ready) QVERIFY(QFile::exists(signal.at(0).toString()));
    }

    void destroyingTheDocumentStopsItsPreviewsCleanly() {
        QTemporaryDir dir;
        for (int i = 0; i < 30; ++i)
            WriteSparseJob(dir.filePath(QString("job%1.prn").arg(i, 2, 10, QChar('0'))), Head(8000, 3000));

        auto doc = std::make_unique<CTessarinDoc>();
        QSignalSpy ready(doc.get(), &CTessarinDoc::previewReady);
        QVERIFY(doc->OnOpenDocument(dir.filePath("job00.prn")));
        QTRY_VERIFY_WITH_TIMEOUT(ready.count() >= 1, 60000);
        doc.reset();  // waits for the picture being written, then stops

        // Every file left is a job or a whole picture: nothing torn, no temporary left behind.
        for (const QString& name : FileNames(dir.path())) {
            if (name.endsWith(".prn")) continue;
            QVERIFY2(name.endsWith(".prn.bmp"), qPrintable(name));
            QVERIFY2(CBmpFile::Read(Fs(dir.filePath(name))), qPrintable(name));
        }
        QCoreApplication::processEvents();  // what the maker posted last goes with it
    }

private:
    QString m_startFolder;
};

QTEST_MAIN(TessarinDocTest)
#include "TessarinDocTest.moc"

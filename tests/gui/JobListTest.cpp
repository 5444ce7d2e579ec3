// The job list of the real window with the virtual printer: jobs from TCP and from the hot folder, the
// printing job's control from the context menu, the list options and the removal of rows.

#include "GuiFixture.h"

#include "engine/PrintJob.h"
#include "panes/ProgressDelegate.h"
#include "shell/CommandTable.h"

using namespace guitest;

namespace {

const QString kFinished = QStringLiteral("输出结束");
const QString kPrinting = QStringLiteral("输出");

// The job of the list's row found by name, once it is there.
std::shared_ptr<CPrintJob> WaitForRow(CPrintList* list, const QString& name) {
    std::shared_ptr<CPrintJob> job;
    for (int i = 0; i < 500 && !job; ++i) {
        for (int row = 0; row < list->RowCount(); ++row)
            if (list->topLevelItem(row)->text(CPrintList::COLUMN_FILE) == name) job = list->JobAt(row);
        if (!job) QTest::qWait(20);
    }
    return job;
}

// Share of blue pixels (0,0,255) in the job's Schedule cell as the list draws it.
double BlueShare(CPrintList* list, int row) {
    const QRect cell = list->visualRect(list->model()->index(row, CPrintList::COLUMN_SCHEDULE));
    const QImage image = list->viewport()->grab(cell).toImage();
    int blue = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) blue += image.pixelColor(x, y) == QColor(0, 0, 255);
    return double(blue) / (image.width() * image.height());
}

}  // namespace

class JobListTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { IsolateUserFolders(); }

    void networkAndHotFolderJobsAppearAndFinishWithAFullBar() {
        ProgramDir dir;
        auto app = dir.Start();
        QVERIFY(app);
        CPrintList* list = app->MainFrame()->PrintPane()->List();

        QVERIFY(SendJob(dir.Port(), JobBytes(64, 50)));
        auto network = WaitForRow(list, QString::fromUtf8(kNetworkJobName));
        QVERIFY(network);
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(list, network), kFinished, 10000);
        QCOMPARE(network->GetProgress(), 100);
        QCOMPARE(ScheduleOf(list, network), QStringLiteral("打印份数: 1\t进度: 100% "));

        const auto source = dir.WriteJob("drop.prn", 64, 40);
        std::filesystem::rename(source, dir.Hot() / "drop.prn");
        auto hot = WaitForRow(list, QString::fromStdString((dir.Hot() / "drop.prn").string()));
        QVERIFY(hot);
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(list, hot), kFinished, 10000);
        QCOMPARE(hot->GetProgress(), 100);
        QTRY_VERIFY(std::filesystem::exists(dir.Hot() / "Finished" / "drop.prn"));

        // The bar fills the inner cell: every pixel but the frame and the white text is blue.
        list->resize(900, 300);
        QVERIFY(BlueShare(list, list->RowOf(hot.get())) > 0.5);
        const QRect cell(0, 0, 150, 24);
        QCOMPARE(CProgressDelegate::BarRect(cell, 100), cell.adjusted(3, 3, -3, -3));
        QCOMPARE(CProgressDelegate::BarRect(cell, 50).width(), (150 - 6) / 2);
        QCOMPARE(CProgressDelegate::BarRect(cell, 0).width(), 0);
    }

    void pauseResumeAndCancelFromTheContextMenuReachTheJob() {
        ProgramDir dir;
        dir.SetPrinterSpeed(100);
        auto app = dir.Start();
        QVERIFY(app);
        CPrintList* list = app->MainFrame()->PrintPane()->List();
        QVERIFY(SendJob(dir.Port(), JobBytes(32, 1000)));
        auto job = WaitForRow(list, QString::fromUtf8(kNetworkJobName));
        QVERIFY(job);
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(list, job), kPrinting, 10000);

        // Nothing selected: the commands do nothing.
        list->clearSelection();
        ChooseFromContextMenu(list, cmd::ID_PRINTPANESET_PAUSE);
        QCOMPARE(job->GetStatus(), JOB_OUTPUT);

        SelectOnly(list, {job});
        QVERIFY(ChooseFromContextMenu(list, cmd::ID_PRINTPANESET_PAUSE).found);
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(list, job), QStringLiteral("暂停"), 5000);
        const int pausedAt = job->GetProgress();
        QTest::qWait(200);
        QCOMPARE(job->GetProgress(), pausedAt);

        QVERIFY(ChooseFromContextMenu(list, cmd::ID_PRINTPANESET_RESUME).found);
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(list, job), kPrinting, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(job->GetProgress() > pausedAt, 5000);

        QVERIFY(ChooseFromContextMenu(list, cmd::ID_TESSARIN_STOP).found);
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(list, job), QStringLiteral("输出取消"), 5000);
        QVERIFY(job->GetProgress() < 100);
    }

    void deleteListRemovesTheRowOnlyAfterTheLastCopy() {
        ProgramDir dir;
        dir.SetPrinterSpeed(400);
        auto app = dir.Start();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        CPrintList* list = frame->PrintPane()->List();

        // Item 0 toggles DeleteList; its check mark follows the file at the next opening.
        ChosenItem first = ChooseFromContextMenu(list, cmd::ID_PRINTPANESET_DELETELIST);
        QVERIFY(first.found);
        QVERIFY(!first.checked);
        QCOMPARE(first.text, QStringLiteral("打印完删除列表"));
        QVERIFY(ReadText(dir.Ini()).find("DeleteList=1") != std::string::npos);
        QVERIFY(ChooseFromContextMenu(list, cmd::ID_PRINTPANESET_DELETESOURCE).found);
        QVERIFY(ChooseFromContextMenu(list, cmd::ID_PRINTPANESET_DELETESOURCE).checked);
        QVERIFY(ReadText(dir.Ini()).find("DeleteListSource=0") != std::string::npos);
        QVERIFY(ChooseFromContextMenu(list, cmd::ID_PRINTPANESET_DELETELIST).checked);
        QVERIFY(ReadText(dir.Ini()).find("DeleteList=0") != std::string::npos);
        QVERIFY(!ChooseFromContextMenu(list, cmd::ID_PRINTPANESET_DELETELIST).checked);

        // The copy number of every status event the window handles, and the one that took the row away.
        int lastCopy = 0;
        int removedAfterCopy = 0;
        struct Filter : QObject {
            int* last;
            explicit Filter(int* l) : last(l) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == CStatusChangedEvent::kType) *last = static_cast<CStatusChangedEvent*>(e)->Copy();
                return false;
            }
        } filter(&lastCopy);
        frame->installEventFilter(&filter);
        connect(list->model(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [&] { removedAfterCopy = lastCopy; });

        QVERIFY(frame->OpenDocument(dir.WriteJob("two.prn", 32, 200)));
        frame->PropPane()->Grid()->EditValue(CPropPane::ROW_YCOPIES, QStringLiteral("2"));
        QCOMPARE(frame->PropPane()->GetYCopies(), 2);
        frame->Action(cmd::ID_TESSARIN_PRINT)->trigger();
        QCOMPARE(list->RowCount(), 1);
        auto job = list->JobAt(0);
        QCOMPARE(job->GetCopies(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(lastCopy == 2, 10000);
        QCOMPARE(list->RowCount(), 1);  // copy 1 at 100 % kept the row
        QTRY_COMPARE_WITH_TIMEOUT(list->RowCount(), 0, 10000);
        QCOMPARE(removedAfterCopy, 2);
        QCOMPARE(job->GetStatus(), JOB_OUTPUT_END);
        frame->removeEventFilter(&filter);
    }

    void deleteRemovesSelectedRowsWithoutStoppingTheirJobs() {
        ProgramDir dir;
        dir.SetPrinterSpeed(200);
        auto app = dir.Start();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        CPrintList* list = frame->PrintPane()->List();
        QVERIFY(frame->OpenDocument(dir.WriteJob("a.prn", 32, 150)));
        frame->Action(cmd::ID_TESSARIN_PRINT)->trigger();
        frame->Action(cmd::ID_TESSARIN_PRINT)->trigger();
        frame->Action(cmd::ID_TESSARIN_PRINT)->trigger();
        QCOMPARE(list->RowCount(), 3);
        // A new row shows the full path, the state at that moment and a bare progress number.
        QCOMPARE(list->topLevelItem(2)->text(CPrintList::COLUMN_FILE),
                 QString::fromStdString((dir.Path() / "a.prn").string()));
        QCOMPARE(list->topLevelItem(2)->text(CPrintList::COLUMN_STATE), QStringLiteral("等待"));
        QCOMPARE(list->topLevelItem(2)->text(CPrintList::COLUMN_SCHEDULE), QStringLiteral("0"));
        const auto first = list->JobAt(0), second = list->JobAt(1), third = list->JobAt(2);
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(list, first), kPrinting, 10000);

        SelectOnly(list, {first, third});
        QVERIFY(ChooseFromContextMenu(list, cmd::ID_PRINTPANESET_DELETE).found);
        QCOMPARE(list->RowCount(), 1);
        QCOMPARE(list->JobAt(0), second);
        // The deleted rows' jobs print on; their status events find no row and change nothing.
        QTRY_COMPARE_WITH_TIMEOUT(third->GetStatus(), int32_t(JOB_OUTPUT_END), 15000);
        QCOMPARE(first->GetStatus(), int32_t(JOB_OUTPUT_END));
        QCOMPARE(list->RowCount(), 1);
        QTRY_COMPARE(StateOf(list, second), kFinished);
    }

    void cancelActsOnTheFirstSelectedRowOnlyAndShutDownEndsThePrinting() {
        ProgramDir dir;
        dir.SetPrinterSpeed(200);
        auto app = dir.Start();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        CPrintList* list = frame->PrintPane()->List();
        QVERIFY(frame->OpenDocument(dir.WriteJob("p.prn", 32, 400)));
        for (int i = 0; i < 3; ++i) frame->Action(cmd::ID_TESSARIN_PRINT)->trigger();
        const auto a = list->JobAt(0), b = list->JobAt(1), c = list->JobAt(2);
        QTRY_COMPARE_WITH_TIMEOUT(a->GetStatus(), int32_t(JOB_OUTPUT), 10000);
        SelectOnly(list, {c, a});
        frame->Action(cmd::ID_TESSARIN_STOP)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(list, a), QStringLiteral("输出取消"), 5000);
        QCOMPARE(c->GetStatus(), int32_t(JOB_WAIT));  // not put on hold
        QTRY_VERIFY_WITH_TIMEOUT(b->GetProgress() > 0, 5000);

        // Shutting down cancels what prints, and the worker has ended when it returns.
        app->ExitInstance();
        QCOMPARE(b->GetStatus(), int32_t(JOB_OUTPUT_CANCEL));
        QCOMPARE(c->GetStatus(), int32_t(JOB_WAIT));
        QVERIFY(app->Services() == nullptr);
    }
};

QTEST_MAIN(JobListTest)
#include "JobListTest.moc"

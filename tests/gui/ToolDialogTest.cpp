// The adjustment tool pane over a live correction session bound to the recording printer library: the
// printing thread is a real thread, the pane lives on the GUI thread, offscreen.

#include <dlfcn.h>

#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <atomic>
#include <thread>

#include "../core/TestSupport.h"
#include "RecordingPrinter.h"
#include "maint/AdjustmentSession.h"
#include "maint/ToolDialog.h"
#include "maint/ToolPane.h"
#include "shell/IniReader.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::filesystem::path kRecordingLib = std::filesystem::path(TESSARIN_TEST_LIBS_DIR) / "RecordingPrinter.so";

// The recording library answers GetCurrentPass with 4 and GetCurrentInkmode with 0.
class RecordingLibrary {
public:
    RecordingLibrary() : m_handle(::dlopen(kRecordingLib.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (!m_handle) return;
        auto state = reinterpret_cast<PFN_RecordingPrinter_State>(::dlsym(m_handle, "RecordingPrinter_State"));
        m_state = state ? state() : nullptr;
    }
    ~RecordingLibrary() {
        if (m_handle) ::dlclose(m_handle);
    }
    RecordingLibrary(const RecordingLibrary&) = delete;
    RecordingLibrary& operator=(const RecordingLibrary&) = delete;

    RecordingState* State() const { return m_state; }
    std::vector<int32_t> Args(const std::string& entry) const {
        std::vector<int32_t> args;
        for (const RecordedCall& call : m_state->Calls())
            if (call.entry == entry) args.push_back(call.arg);
        return args;
    }

private:
    void* m_handle;
    RecordingState* m_state = nullptr;
};

// Runs one call of the session on a printing thread of its own and says how long the call took.
Clock::duration OnPrintingThread(const std::function<void()>& call) {
    Clock::duration took{};
    std::thread printing([&] {
        Clock::time_point start = Clock::now();
        call();
        took = Clock::now() - start;
    });
    printing.join();
    return took;
}

}  // namespace

class ToolDialogTest : public QObject {
    Q_OBJECT

    // The machine at feed 500 (4 passes) and bidirectional 20 (ink mode 0), printing "PVC" in mode "102".
    void WriteProgramDirectory() {
        testsupport::WriteFile(m_dir / "vkconfig.ini",
                               "[MEDIAFEED]\nnMediaFeedingPulse[3]=500\n[HEAD_LAYOUT]\nnBidComp[0]=20\n");
        testsupport::WriteFile(m_dir / "Tessarin.ini", "[setting]\nCurMaterial=PVC\n");
        testsupport::WriteFile(m_dir / "Config" / "PVC.ini",
                               "[SETTING]\nnBidComp[Speed]=1\nnBidComp[Resolution]=0\nnBidComp[Dot_Mode]=2\n");
    }
    int Ini(const char* file, const char* section, const char* key) const {
        return CIniReader(m_dir / file).ReadInt(section, key, -999999);
    }
    template <typename T>
    static T* Child(QWidget& parent, const char* name) {
        T* child = parent.findChild<T*>(QString::fromUtf8(name));
        if (!child) qFatal("no child %s", name);
        return child;
    }

    testsupport::TempDir m_dir;
    RecordingLibrary m_library;

private slots:
    void init() {
        QVERIFY2(m_library.State(), kRecordingLib.c_str());
        m_library.State()->Reset();
        WriteProgramDirectory();
    }

    void buttonsAndTypedTextReachTheLibraryAndTheMaterial() {
        CAdjustmentSession session(m_dir.Path(), kRecordingLib);
        CToolPane pane(session);
        CToolDialog& dialog = pane.Dialog();
        auto* feedEdit = Child<QLineEdit>(dialog, "feedEdit");
        auto* bidEdit = Child<QLineEdit>(dialog, "bidEdit");
        auto* feedMinus = Child<QToolButton>(dialog, "feedMinus");
        QCOMPARE(pane.windowTitle(), QStringLiteral("实用工具栏"));
        QCOMPARE(feedEdit->text(), QStringLiteral("0"));
        QCOMPARE(bidEdit->text(), QStringLiteral("0"));
        QVERIFY(!feedMinus->isEnabled());
        QVERIFY(!feedEdit->isEnabled());

        OnPrintingThread([&] { session.Begin(); });
        QTRY_VERIFY(feedMinus->isEnabled());
        QVERIFY(bidEdit->isEnabled());

        QTest::mouseClick(feedMinus, Qt::LeftButton);
        QTest::mouseClick(feedMinus, Qt::LeftButton);
        QCOMPARE(feedEdit->text(), QStringLiteral("-2"));
        QCOMPARE(session.Feed(), -2);
        QCOMPARE(m_library.Args("ChangeFeedingData"), (std::vector<int32_t>{-1, -2}));
        QCOMPARE(Ini("Config/PVC.ini", "SETTING", "nMediaFeedingPulse[3]"), 498);

        bidEdit->clear();
        QTest::keyClicks(bidEdit, "1x2");  // the letter is refused by the edit
        QCOMPARE(bidEdit->text(), QStringLiteral("12"));
        QTest::mouseClick(Child<QToolButton>(dialog, "bidPlus"), Qt::LeftButton);
        QCOMPARE(bidEdit->text(), QStringLiteral("13"));
        QCOMPARE(m_library.Args("ChangeBidData"), (std::vector<int32_t>{1, 12, 13}));
        QCOMPARE(Ini("Config/PVC.ini", "SETTING", "nBidComp[1][0][2]"), 33);

        QTest::mouseClick(Child<QToolButton>(dialog, "bidMinus"), Qt::LeftButton);
        QCOMPARE(m_library.Args("ChangeBidData").back(), 12);
        QCOMPARE(Ini("vkconfig.ini", "MEDIAFEED", "nMediaFeedingPulse[3]"), 500);
    }

    void storedValuesShowForAWhileWithoutHoldingThePrintingThread() {
        CAdjustmentSession session(m_dir.Path(), kRecordingLib);
        CToolPane pane(session);
        CToolDialog& dialog = pane.Dialog();
        QCOMPARE(Child<QTimer>(dialog, "storedTimer")->interval(), 5000);
        dialog.SetShowStoredFor(300ms);
        auto* feedEdit = Child<QLineEdit>(dialog, "feedEdit");
        auto* bidEdit = Child<QLineEdit>(dialog, "bidEdit");
        QSignalSpy shown(&dialog, &CToolDialog::storedShown);
        QSignalSpy back(&dialog, &CToolDialog::correctionsShown);

        OnPrintingThread([&] { session.Begin(); });
        QTRY_VERIFY(feedEdit->isEnabled());
        QTest::mouseClick(Child<QToolButton>(dialog, "feedMinus"), Qt::LeftButton);
        QTest::mouseClick(Child<QToolButton>(dialog, "feedMinus"), Qt::LeftButton);
        QTest::mouseClick(Child<QToolButton>(dialog, "bidPlus"), Qt::LeftButton);

        Clock::duration took = OnPrintingThread([&] { session.End(true); });
        QVERIFY(took < std::chrono::milliseconds(CAdjustmentSession::kShowStoredFor) / 10);
        QCOMPARE(Ini("vkconfig.ini", "MEDIAFEED", "nMediaFeedingPulse[3]"), 498);
        QCOMPARE(Ini("vkconfig.ini", "HEAD_LAYOUT", "nBidComp[0]"), 21);

        QTRY_COMPARE(shown.count(), 1);
        QCOMPARE(shown[0][0].toString(), QStringLiteral("498"));
        QCOMPARE(shown[0][1].toString(), QStringLiteral("21"));
        QCOMPARE(feedEdit->text(), QStringLiteral("498"));
        QCOMPARE(bidEdit->text(), QStringLiteral("21"));
        QVERIFY(dialog.IsShowingStored());
        QVERIFY(!feedEdit->isEnabled());
        back.clear();

        QTRY_COMPARE(back.count(), 1);
        QCOMPARE(feedEdit->text(), QStringLiteral("0"));
        QCOMPARE(bidEdit->text(), QStringLiteral("0"));
        QVERIFY(!dialog.IsShowingStored());
    }

    void aJobStartingWhileStoredValuesShowGetsTheCorrectionsAtOnce() {
        CAdjustmentSession session(m_dir.Path(), kRecordingLib);
        CToolPane pane(session);
        CToolDialog& dialog = pane.Dialog();
        auto* feedEdit = Child<QLineEdit>(dialog, "feedEdit");
        QSignalSpy shown(&dialog, &CToolDialog::storedShown);
        OnPrintingThread([&] { session.Begin(); });
        QTRY_VERIFY(feedEdit->isEnabled());
        QTest::mouseClick(Child<QToolButton>(dialog, "feedPlus"), Qt::LeftButton);
        OnPrintingThread([&] { session.End(true); });
        QTRY_COMPARE(shown.count(), 1);
        QCOMPARE(feedEdit->text(), QStringLiteral("501"));

        OnPrintingThread([&] { session.Begin(); });
        QTRY_COMPARE_WITH_TIMEOUT(feedEdit->text(), QStringLiteral("0"), 2000);
        QVERIFY(feedEdit->isEnabled());
        QVERIFY(!dialog.IsShowingStored());
        QTest::keyClicks(feedEdit, "3");  // appended to "0": the operator sees what the library gets
        QCOMPARE(m_library.Args("ChangeFeedingData").back(), 3);
    }

    void aCancelledJobKeepsItsCorrectionsForTheNextEnd() {
        CAdjustmentSession session(m_dir.Path(), kRecordingLib);
        CToolPane pane(session);
        CToolDialog& dialog = pane.Dialog();
        auto* feedEdit = Child<QLineEdit>(dialog, "feedEdit");
        QSignalSpy shown(&dialog, &CToolDialog::storedShown);
        OnPrintingThread([&] { session.Begin(); });
        QTRY_VERIFY(feedEdit->isEnabled());
        QTest::mouseClick(Child<QToolButton>(dialog, "feedPlus"), Qt::LeftButton);
        OnPrintingThread([&] { session.End(false); });
        QTRY_VERIFY(!feedEdit->isEnabled());
        QCOMPARE(feedEdit->text(), QStringLiteral("1"));
        QCOMPARE(Ini("vkconfig.ini", "MEDIAFEED", "nMediaFeedingPulse[3]"), 500);

        OnPrintingThread([&] { session.End(true); });
        QTRY_COMPARE(shown.count(), 1);
        QCOMPARE(feedEdit->text(), QStringLiteral("501"));
        QCOMPARE(Ini("vkconfig.ini", "MEDIAFEED", "nMediaFeedingPulse[3]"), 501);
    }

    void aLibraryThatCannotBeLoadedPutsUpAMessage() {
        std::filesystem::path missing = m_dir / "NoSuchPrinter.so";
        CAdjustmentSession session(m_dir.Path(), missing);
        CToolPane pane(session);
        QSignalSpy messages(&pane.Dialog(), &CToolDialog::messageShown);
        OnPrintingThread([&] { session.Begin(); });
        QTRY_COMPARE(messages.count(), 1);
        QString text = messages[0][0].toString();
        QVERIFY2(text.startsWith(QStringLiteral("打印机DLL路径为：")), qPrintable(text));
        QVERIFY(text.contains(QString::fromStdString(missing.string())));
        auto* box = pane.Dialog().findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(box->text(), text);
        box->close();
    }

    // The pane goes while a printing thread keeps beginning and ending jobs: nothing is posted to it after.
    void thePaneCanGoWhileJobsRun() {
        CAdjustmentSession session(m_dir.Path(), kRecordingLib);
        std::atomic<bool> stop{false};
        std::atomic<int> jobs{0};
        std::thread printing([&] {
            while (!stop) {
                session.Begin();
                session.End(true);
                ++jobs;
            }
        });
        for (int i = 0; i < 5; ++i) {
            auto pane = std::make_unique<CToolPane>(session);
            int before = jobs;
            QTRY_VERIFY(jobs > before + 2);
            QCoreApplication::processEvents();
            pane.reset();
        }
        stop = true;
        printing.join();
        QCoreApplication::processEvents();
    }

    void screenshot() {
        CAdjustmentSession session(m_dir.Path(), kRecordingLib);
        QMainWindow window;
        auto* pane = new CToolPane(session, &window);
        window.addDockWidget(Qt::TopDockWidgetArea, pane);
        window.setCentralWidget(new QWidget(&window));
        window.resize(720, 160);
        OnPrintingThread([&] { session.Begin(); });
        QTRY_VERIFY(Child<QLineEdit>(pane->Dialog(), "feedEdit")->isEnabled());
        QTest::mouseClick(Child<QToolButton>(pane->Dialog(), "feedMinus"), Qt::LeftButton);
        QTest::mouseClick(Child<QToolButton>(pane->Dialog(), "bidPlus"), Qt::LeftButton);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QString folder = qEnvironmentVariable("TESSARIN_SCREENSHOT_DIR");
        if (folder.isEmpty()) QSKIP("TESSARIN_SCREENSHOT_DIR is not set");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(window.grab().save(folder + QStringLiteral("/tool-pane.png")));
        OnPrintingThread([&] { session.End(false); });
    }
};

QTEST_MAIN(ToolDialogTest)
#include "ToolDialogTest.moc"

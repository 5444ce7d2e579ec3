// The head voltage dialog against the simulated controller board that Tessarin.ini plugs in, offscreen.

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "../core/TestSupport.h"
#include "maint/NozzleVoltage.h"
#include "maint/SimulatedBoard.h"
#include "maint/SimulatedBoardDevice.h"
#include "maint/USBDevice.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::filesystem::path kCurveFile = std::filesystem::path(TESSARIN_TEST_DATA_DIR) / "maint" / "default.txt";

template <typename T>
T* Child(QWidget& parent, const QString& name) {
    T* child = parent.findChild<T*>(name);
    if (!child) qFatal("no child %s", qPrintable(name));
    return child;
}

QString ValueName(int head, int field) {
    return QStringLiteral("value_%1_%2").arg(head).arg(field);
}

std::vector<double> Numbers(const std::string& text) {
    std::vector<double> numbers;
    std::istringstream in(text);
    for (double n; in >> n;) numbers.push_back(n);
    return numbers;
}

}  // namespace

class NozzleVoltageTest : public QObject {
    Q_OBJECT

    // Row 3 holds the values of the board's own example; heads are C M Y K K Y M C.
    void WriteProgramDirectory(const std::string& colours = "0 1 2 3 3 2 1 0\n") {
        testsupport::WriteFile(m_dir / "Tessarin.ini",
                               "[USB]\nVendorID=4660\nProductID=22136\nEPInAddr=129\nEPOutAddr=1\nSimulated=1\n");
        std::filesystem::create_directories(m_dir / "Align");
        std::filesystem::copy_file(kCurveFile, m_dir / "Align" / "default.txt",
                                   std::filesystem::copy_options::overwrite_existing);
        std::string values;
        for (int head = 0; head < 8; ++head)
            values += head == 2 ? "22.5 21.0 0.5 -1.2 45.0 44.8 30.0\n" : "0 0 0 0 0 0 0\n";
        testsupport::WriteFile(m_dir / "Align" / "TempVol.txt", values + colours);
    }

    // A message box put up by the dialog, closed again; its text.
    static QString TakeMessage(CNozzleVoltage& dialog) {
        auto* box = dialog.findChild<QMessageBox*>();
        if (!box) return {};
        QString text = box->text();
        box->close();
        delete box;
        return text;
    }

    testsupport::TempDir m_dir;
    std::shared_ptr<CSimulatedBoard> m_board = CSimulatedBoard::Plugged();

private slots:
    void init() {
        m_board->Reset();
        WriteProgramDirectory();
    }
    void cleanup() { m_board->Reset(); }

    void showsTheStoredValuesSendsThemAndReadsTheBoardBack() {
        CNozzleVoltage dialog(m_dir.Path());
        dialog.show();
        QCOMPARE(dialog.findChildren<QDoubleSpinBox*>().size(), 40);
        QCOMPARE(dialog.findChildren<QComboBox*>().size(), 8);
        QCOMPARE(Child<QDoubleSpinBox>(dialog, ValueName(2, 0))->value(), 22.5);
        QCOMPARE(Child<QDoubleSpinBox>(dialog, ValueName(2, 3))->text(), QStringLiteral("-1.2"));
        auto* current = Child<QLineEdit>(dialog, ValueName(2, 5));
        QCOMPARE(current->text(), QStringLiteral("44.8"));
        QVERIFY(current->isReadOnly());
        QCOMPARE(Child<QLineEdit>(dialog, ValueName(2, 6))->text(), QStringLiteral("30.0"));
        QCOMPARE(Child<QComboBox>(dialog, QStringLiteral("colour_3"))->currentText(), QStringLiteral("K"));

        QSignalSpy sent(&dialog, &CNozzleVoltage::sendFinished);
        QTest::mouseClick(Child<QPushButton>(dialog, QStringLiteral("send")), Qt::LeftButton);
        QTRY_COMPARE(sent.count(), 1);
        QVERIFY(sent[0][0].toBool());
        QVERIFY(!dialog.IsSending());
        std::vector<std::string> records = m_board->Received();
        QCOMPARE(records.size(), size_t{32});
        const char letters[] = "ABCD";
        for (size_t i = 0; i < records.size(); ++i) {
            QCOMPARE(records[i].size(), size_t{26});
            QCOMPARE(records[i][2], char('0' + i / 4));
            QCOMPARE(records[i][3], letters[i % 4]);
        }
        QCOMPARE(records[8], std::string("$P2A225210+05-12450448300\r"));
        QCOMPARE(records[13], std::string("$P3B063064065066067068069\r"));  // head 4 is black

        testsupport::TraceCapture trace;
        QSignalSpy groups(&dialog, &CNozzleVoltage::groupReceived);
        QSignalSpy read(&dialog, &CNozzleVoltage::readFinished);
        auto* readButton = Child<QPushButton>(dialog, QStringLiteral("read"));
        QTest::mouseClick(readButton, Qt::LeftButton);
        // The simulated board may answer all 32 groups before the click returns.
        QVERIFY(!readButton->isEnabled() || read.count() == 1);
        QTRY_COMPARE_WITH_TIMEOUT(read.count(), 1, 10000);
        QVERIFY(read[0][0].toBool());
        QCOMPARE(groups.count(), 32);
        for (int g = 0; g < 32; ++g) {
            QCOMPARE(groups[g][0].toInt(), g + 1);
            QCOMPARE(groups[g][1].toString().toStdString(), records[static_cast<size_t>(g)]);
        }
        QCOMPARE(m_board->Received().back(), std::string("$PC\r"));
        QVERIFY(readButton->isEnabled());
        QCOMPARE(Child<QLabel>(dialog, QStringLiteral("groups"))->text(), QStringLiteral("32/32"));
        QString log = Child<QPlainTextEdit>(dialog, QStringLiteral("log"))->toPlainText();
        QVERIFY2(log.contains(QStringLiteral(" 8组: $P2A225210+05-12450448300")), qPrintable(log));
        QVERIFY(log.endsWith(QStringLiteral("接收32组数据结束!")));
        std::string traced = trace.Text();
        QVERIFY(traced.find("开始接收32组数据:") != std::string::npos);
        QVERIFY(traced.find("31组:") != std::string::npos);
        QVERIFY(traced.find("接收32组数据结束!") != std::string::npos);

        QString folder = qEnvironmentVariable("TESSARIN_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(dialog.grab().save(folder + QStringLiteral("/nozzle-voltage.png")));
        }
    }

    void editsAreSentAndSavedAsShownWhenTheDialogCloses() {
        auto dialog = std::make_unique<CNozzleVoltage>(m_dir.Path());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        auto* leftVoltage = Child<QDoubleSpinBox>(*dialog, ValueName(0, 0));
        leftVoltage->stepBy(3);
        QCOMPARE(leftVoltage->value(), 3.0);
        leftVoltage->stepBy(-4);
        QCOMPARE(leftVoltage->value(), -1.0);
        auto* setTemperature = Child<QDoubleSpinBox>(*dialog, ValueName(0, 4));
        setTemperature->selectAll();
        QTest::keyClicks(setTemperature, "40.5");
        QTest::keyClick(setTemperature, Qt::Key_Return);
        QVERIFY2(dialog->isVisible(), "Enter only finishes typing");
        auto* adjust = Child<QDoubleSpinBox>(*dialog, ValueName(2, 2));
        adjust->setValue(2000);
        adjust->stepBy(1);
        QCOMPARE(adjust->value(), -2000.0);  // the arrows wrap
        Child<QComboBox>(*dialog, QStringLiteral("colour_7"))->setCurrentIndex(3);

        QSignalSpy sent(dialog.get(), &CNozzleVoltage::sendFinished);
        QTest::mouseClick(Child<QPushButton>(*dialog, QStringLiteral("send")), Qt::LeftButton);
        QTRY_COMPARE(sent.count(), 1);
        std::vector<std::string> records = m_board->Received();
        QCOMPARE(records.size(), size_t{32});
        QCOMPARE(records[0], std::string("$P0A-10000+00+00405000000\r"));
        QCOMPARE(records[29], std::string("$P7B063064065066067068069\r"));

        QTest::mouseClick(Child<QPushButton>(*dialog, QStringLiteral("exit")), Qt::LeftButton);
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        std::vector<double> saved = Numbers(testsupport::ReadFile(m_dir / "Align" / "TempVol.txt"));
        QCOMPARE(saved.size(), size_t{64});
        QCOMPARE(saved[0], -1.0);
        QCOMPARE(saved[4], 40.5);
        QCOMPARE(saved[16], -2000.0);
        QCOMPARE(saved[19], 44.8);  // shown only, kept as it was
        QCOMPARE(saved[63], 3.0);
    }

    void withoutABoardTheDialogSaysSoAndGoesOn_data() {
        QTest::addColumn<bool>("libusb");
        QTest::newRow("simulated bus with no board") << false;
        QTest::newRow("libusb, ids of no board here") << true;
    }
    void withoutABoardTheDialogSaysSoAndGoesOn() {
        QFETCH(bool, libusb);
        CNozzleVoltageModel::DeviceFactory noBoard = [](const std::filesystem::path& config) {
            return std::make_shared<CUSBDevice>(
                config, std::make_unique<CSimulatedBoardDevice>(std::vector<std::shared_ptr<CSimulatedBoard>>{}));
        };
        if (libusb)
            testsupport::WriteFile(m_dir / "Tessarin.ini",
                                   "[USB]\nVendorID=65534\nProductID=65533\nEPInAddr=129\nEPOutAddr=1\n");
        CNozzleVoltage dialog(m_dir.Path(), libusb ? CNozzleVoltageModel::DeviceFactory{} : noBoard);
        dialog.show();
        QSignalSpy messages(&dialog, &CNozzleVoltage::messageShown);

        QTest::mouseClick(Child<QPushButton>(dialog, QStringLiteral("send")), Qt::LeftButton);
        QTRY_COMPARE(messages.count(), 1);
        QString sendMessage = TakeMessage(dialog);
        QVERIFY2(sendMessage.startsWith(QStringLiteral("发送失败，请检查是否联机！")), qPrintable(sendMessage));

        QTest::mouseClick(Child<QPushButton>(dialog, QStringLiteral("read")), Qt::LeftButton);
        QCOMPARE(messages.count(), 2);
        QString readMessage = TakeMessage(dialog);
        QVERIFY2(readMessage.startsWith(QStringLiteral("请检查是否联机！")), qPrintable(readMessage));
        QVERIFY(Child<QPushButton>(dialog, QStringLiteral("read"))->isEnabled());
        QCOMPARE(dialog.Model().Receiver(), nullptr);
        QVERIFY(m_board->Received().empty());
    }

    void aHeadWithoutColourIsNamedAndNothingIsSent() {
        WriteProgramDirectory("0 1 2 3 3 2 -1 0\n");
        CNozzleVoltage dialog(m_dir.Path());
        dialog.show();
        QCOMPARE(Child<QComboBox>(dialog, QStringLiteral("colour_6"))->currentIndex(), -1);
        QSignalSpy sent(&dialog, &CNozzleVoltage::sendFinished);
        QTest::mouseClick(Child<QPushButton>(dialog, QStringLiteral("send")), Qt::LeftButton);
        QTRY_COMPARE(sent.count(), 1);
        QVERIFY(!sent[0][0].toBool());
        QString message = TakeMessage(dialog);
        QVERIFY2(message.contains(QStringLiteral("Head 7")), qPrintable(message));
        QVERIFY(m_board->Received().empty());
    }

    void aFailedReceiveIsShownAndEndsOnlyTheThread() {
        m_board->SetBehaviour({.stallAfterGroups = 5});
        CNozzleVoltage dialog(m_dir.Path());
        dialog.show();
        testsupport::TraceCapture trace;
        QSignalSpy read(&dialog, &CNozzleVoltage::readFinished);
        QSignalSpy groups(&dialog, &CNozzleVoltage::groupReceived);
        QTest::mouseClick(Child<QPushButton>(dialog, QStringLiteral("read")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(read.count(), 1, 10000);
        QVERIFY(!read[0][0].toBool());
        QCOMPARE(groups.count(), 5);
        QString message = TakeMessage(dialog);
        QVERIFY2(message.contains(QStringLiteral("Group 6")), qPrintable(message));
        QVERIFY(trace.Text().find("数据接受失败") != std::string::npos);
        QVERIFY(Child<QPushButton>(dialog, QStringLiteral("read"))->isEnabled());
        QVERIFY(!dialog.Model().IsReading());
    }

    // A board that takes no data holds each record for up to a minute: the window stays responsive with
    // its values locked, and closing it stops the send and still saves the values.
    void aSlowSendLeavesTheWindowResponsiveAndClosingStopsIt() {
        m_board->SetBehaviour({.holdWrites = true});
        auto dialog = std::make_unique<CNozzleVoltage>(m_dir.Path());
        dialog->show();
        QSignalSpy sent(dialog.get(), &CNozzleVoltage::sendFinished);
        auto* send = Child<QPushButton>(*dialog, QStringLiteral("send"));
        QTest::mouseClick(send, Qt::LeftButton);
        QVERIFY(m_board->WaitForPendingWrite(10s));
        QVERIFY(dialog->IsSending());
        QVERIFY(!send->isEnabled());
        QVERIFY(!Child<QPushButton>(*dialog, QStringLiteral("read"))->isEnabled());
        QVERIFY(!Child<QDoubleSpinBox>(*dialog, ValueName(0, 0))->isEnabled());
        QCoreApplication::processEvents();

        Clock::time_point closing = Clock::now();
        QTest::mouseClick(Child<QPushButton>(*dialog, QStringLiteral("exit")), Qt::LeftButton);
        QVERIFY(Clock::now() - closing < CNozzleVoltageModel::kRecordTimeout / 10);
        QVERIFY(!dialog->isVisible());
        QVERIFY(!dialog->IsSending());
        QVERIFY(m_board->Received().empty());
        QCOMPARE(Numbers(testsupport::ReadFile(m_dir / "Align" / "TempVol.txt")).size(), size_t{64});
        QCoreApplication::processEvents();
        QCOMPARE(sent.count(), 0);

        m_board->SetBehaviour({});
        dialog->show();
        QTest::mouseClick(send, Qt::LeftButton);
        QTRY_COMPARE(sent.count(), 1);
        QVERIFY(sent[0][0].toBool());
        QCOMPARE(m_board->Received().size(), size_t{32});
        QVERIFY(send->isEnabled());
    }

    void closingWhileTheBoardIsSilentStopsTheReceiveThread_data() {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("exit button") << false;
        QTest::newRow("dialog destroyed") << true;
    }
    void closingWhileTheBoardIsSilentStopsTheReceiveThread() {
        QFETCH(bool, destroy);
        m_board->SetBehaviour({.silent = true});
        auto dialog = std::make_unique<CNozzleVoltage>(m_dir.Path());
        dialog->show();
        testsupport::TraceCapture trace;
        QSignalSpy read(dialog.get(), &CNozzleVoltage::readFinished);
        QTest::mouseClick(Child<QPushButton>(*dialog, QStringLiteral("read")), Qt::LeftButton);
        QVERIFY(m_board->WaitForPendingRead(10s));

        Clock::time_point closing = Clock::now();
        if (destroy) {
            dialog.reset();
        } else {
            QTest::mouseClick(Child<QPushButton>(*dialog, QStringLiteral("exit")), Qt::LeftButton);
            QVERIFY(!dialog->isVisible());
            QVERIFY(!dialog->Model().IsReading());
        }
        QVERIFY(Clock::now() - closing < CBoardReceiver::kGroupTimeout / 2);
        QVERIFY(trace.Text().find("Receiving stopped after 0 groups") != std::string::npos);
        QCoreApplication::processEvents();
        if (!destroy) QCOMPARE(read.count(), 0);
    }
};

QTEST_MAIN(NozzleVoltageTest)
#include "NozzleVoltageTest.moc"

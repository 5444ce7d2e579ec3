#pragma once

#include <QDialog>
#include <array>
#include <filesystem>
#include <thread>

#include "maint/NozzleVoltageModel.h"

class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The head voltage dialog: per print head the left and right voltages, their adjustments and the set
// temperature (each with arrows), the current and base-plate temperatures (shown only) and the ink colour.
// "发送" sends them to the controller board as 32 records, "读取" asks the board for its records back on a
// receive thread, whose groups go to the trace and into the dialog's log. The values are kept in
// Align/TempVol.txt: loaded when the dialog opens, saved when it is closed with "退出", Esc or the close
// box.
//
// A send runs on a thread of its own, with the values and buttons locked until it ends, so that a board
// that takes its time (a minute per record at worst) never freezes the window. Closing the dialog stops a
// send and the receive thread first.
//
// Everything about the values, the records and the board is CNozzleVoltageModel's; this is its window.
class CNozzleVoltage : public QDialog {
    Q_OBJECT
public:
    // The program directory holds Tessarin.ini, whose [USB] section names the board (or plugs in the
    // simulated one), and the Align folder.
    explicit CNozzleVoltage(const std::filesystem::path& programDirectory, QWidget* parent = nullptr);
    // With a board of the caller's choosing.
    CNozzleVoltage(const std::filesystem::path& programDirectory, CNozzleVoltageModel::DeviceFactory openDevice,
                   QWidget* parent = nullptr);
    ~CNozzleVoltage() override;

    CNozzleVoltageModel& Model() { return m_model; }

    // The buttons "发送" and "读取".
    void OnSend();
    void OnRead();
    bool IsSending() const { return m_sending; }
    // "退出", Esc and the close box: saves the values, then closes.
    void reject() override;

signals:
    void sendFinished(bool ok);
    void groupReceived(int group, const QString& text);
    // The receive thread ended by itself: CBoardReceiver::State Finished or Failed.
    void readFinished(bool ok);
    // A message for the operator was put up (without waiting for it to be closed).
    void messageShown(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildRows(QGridLayout* grid);
    void ShowValues();
    void OnSendDone(const CNozzleVoltageModel::Outcome& sent);
    void UpdateControls();
    void StopSending();
    void OnReadDone(CBoardReceiver::State state);
    void OnGroup(int group, const QString& text);
    void Log(const QString& line);
    void ShowMessage(const QString& text);

    CNozzleVoltageModel m_model;
    std::array<std::array<QDoubleSpinBox*, headrecord::kRowValues>, headrecord::kHeads> m_spins{};
    std::array<std::array<QLineEdit*, headrecord::kRowValues>, headrecord::kHeads> m_shown{};
    std::array<QComboBox*, headrecord::kHeads> m_colours{};
    QWidget* m_rows = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_read = nullptr;
    QLabel* m_groups = nullptr;
    QPlainTextEdit* m_log = nullptr;
    bool m_sending = false;
    // From a started read until its end has been handled here: the receive thread may be over before.
    bool m_reading = false;
    // Last: stopped and joined before the model it uses goes.
    std::jthread m_sender;
};

#include "maint/NozzleVoltage.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

#include "shell/Trace.h"

namespace {

using headrecord::Field;

constexpr int kValueDecimals = 1;

// The value edit and its arrows in one: the arrows step as the model says (the whole part, wrapping at
// the ends of the range), typing goes through the spin box's own number check.
class ArrowSpinBox final : public QDoubleSpinBox {
public:
    ArrowSpinBox(std::function<float(int)> step, QWidget* parent) : QDoubleSpinBox(parent), m_step(std::move(step)) {
        setLocale(QLocale::c());
        setDecimals(kValueDecimals);
        setRange(CNozzleVoltageModel::kSpinMin, CNozzleVoltageModel::kSpinMax);
        setWrapping(true);
        setSingleStep(1);
        setAlignment(Qt::AlignRight);
        setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("-2000.0")) + 40);
    }
    void stepBy(int steps) override { setValue(m_step(steps)); }

private:
    std::function<float(int)> m_step;
};

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CNozzleVoltage::CNozzleVoltage(const std::filesystem::path& programDirectory, QWidget* parent)
    : CNozzleVoltage(programDirectory, {}, parent) {}

CNozzleVoltage::CNozzleVoltage(const std::filesystem::path& programDirectory,
                               CNozzleVoltageModel::DeviceFactory openDevice, QWidget* parent)
    : QDialog(parent), m_model(programDirectory, std::move(openDevice)) {
    setObjectName(QStringLiteral("NozzleVoltage"));
    setWindowTitle(QStringLiteral("喷头电压"));
    auto* layout = new QVBoxLayout(this);
    m_rows = new QWidget(this);
    auto* grid = new QGridLayout(m_rows);
    grid->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_rows);
    BuildRows(grid);

    auto* buttons = new QHBoxLayout;
    m_groups = new QLabel(this);
    m_groups->setObjectName(QStringLiteral("groups"));
    buttons->addWidget(m_groups, 1);
    m_send = new QPushButton(QStringLiteral("发送"), this);
    m_send->setObjectName(QStringLiteral("send"));
    m_read = new QPushButton(QStringLiteral("读取"), this);
    m_read->setObjectName(QStringLiteral("read"));
    auto* exit = new QPushButton(QStringLiteral("退出"), this);
    exit->setObjectName(QStringLiteral("exit"));
    // Enter only finishes typing a value: closing without saving what the edits show would lose it.
    for (QPushButton* button : {m_send, m_read, exit}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    connect(m_send, &QPushButton::clicked, this, &CNozzleVoltage::OnSend);
    connect(m_read, &QPushButton::clicked, this, &CNozzleVoltage::OnRead);
    connect(exit, &QPushButton::clicked, this, &CNozzleVoltage::reject);

    m_log = new QPlainTextEdit(this);
    m_log->setObjectName(QStringLiteral("log"));
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(1000);
    m_log->setMinimumHeight(m_log->fontMetrics().lineSpacing() * 6);
    layout->addWidget(m_log);

    m_model.LoadValues();
    ShowValues();
}

// The send and receive threads post to this dialog; they are stopped before anything they use goes.
CNozzleVoltage::~CNozzleVoltage() {
    StopSending();
    m_model.StopRead();
}

void CNozzleVoltage::BuildRows(QGridLayout* grid) {
    const char* headings[] = {"组数", "左电压", "右电压", "左调整", "右调整", "设定温度", "当前温度", "底板温度", "颜色"};
    for (int column = 0; column < static_cast<int>(std::size(headings)); ++column)
        grid->addWidget(new QLabel(QString::fromUtf8(headings[column]), m_rows), 0, column, Qt::AlignCenter);
    for (int head = 0; head < headrecord::kHeads; ++head) {
        int row = head + 1;
        grid->addWidget(new QLabel(QString::number(row), m_rows), row, 0, Qt::AlignCenter);
        for (int f = 0; f < headrecord::kRowValues; ++f) {
            Field field = static_cast<Field>(f);
            QString name = QStringLiteral("value_%1_%2").arg(head).arg(f);
            if (CNozzleVoltageModel::IsEditable(field)) {
                auto* spin = new ArrowSpinBox([this, head, field](int steps) { return m_model.Spin(head, field, steps); },
                                              m_rows);
                spin->setObjectName(name);
                connect(spin, &QDoubleSpinBox::valueChanged, this,
                        [this, head, field](double value) { m_model.SetValue(head, field, static_cast<float>(value)); });
                m_spins[head][f] = spin;
                grid->addWidget(spin, row, f + 1);
            } else {
                auto* shown = new QLineEdit(m_rows);
                shown->setObjectName(name);
                shown->setReadOnly(true);
                shown->setAlignment(Qt::AlignRight);
                shown->setMaximumWidth(shown->fontMetrics().horizontalAdvance(QStringLiteral("-2000.00")) + 12);
                m_shown[head][f] = shown;
                grid->addWidget(shown, row, f + 1);
            }
        }
        auto* colour = new QComboBox(m_rows);
        colour->setObjectName(QStringLiteral("colour_%1").arg(head));
        colour->addItems({QStringLiteral("C"), QStringLiteral("M"), QStringLiteral("Y"), QStringLiteral("K")});
        connect(colour, &QComboBox::currentIndexChanged, this, [this, head](int index) { m_model.SetColour(head, index); });
        m_colours[head] = colour;
        grid->addWidget(colour, row, headrecord::kRowValues + 1);
    }
}

void CNozzleVoltage::ShowValues() {
    for (int head = 0; head < headrecord::kHeads; ++head) {
        for (int f = 0; f < headrecord::kRowValues; ++f) {
            float value = m_model.Value(head, static_cast<Field>(f));
            if (m_spins[head][f])
                m_spins[head][f]->setValue(value);
            else
                m_shown[head][f]->setText(Text(CNozzleVoltageModel::FormatValue(value)));
        }
        // -1 leaves the box empty: a head whose colour was never chosen.
        m_colours[head]->setCurrentIndex(m_model.Colour(head));
    }
}

void CNozzleVoltage::OnSend() {
    if (m_sending) return;
    m_sender = {};  // the last send, which has ended
    m_sending = true;
    UpdateControls();
    Log(QStringLiteral("Start send data!"));
    m_sender = std::jthread([this](std::stop_token stop) {
        CNozzleVoltageModel::Outcome sent = m_model.Send(stop);
        if (stop.stop_requested()) return;  // the dialog is closing: nobody to tell
        QMetaObject::invokeMethod(this, [this, sent] { OnSendDone(sent); }, Qt::QueuedConnection);
    });
}

void CNozzleVoltage::OnSendDone(const CNozzleVoltageModel::Outcome& sent) {
    m_sending = false;
    UpdateControls();
    if (sent.ok)
        Log(QStringLiteral("发送数据结束"));
    else if (isVisible())
        ShowMessage(Text(sent.message));
    emit sendFinished(sent.ok);
}

void CNozzleVoltage::StopSending() {
    m_sender.request_stop();
    if (m_sender.joinable()) m_sender.join();
    m_sending = false;
}

void CNozzleVoltage::UpdateControls() {
    m_rows->setEnabled(!m_sending);
    m_send->setEnabled(!m_sending);
    m_read->setEnabled(!m_sending && !m_reading);
}

void CNozzleVoltage::OnRead() {
    if (m_sending || m_reading) return;  // the send thread may be opening the board
    // Both callbacks run on the receive thread: they only post. Posted calls die with the dialog.
    auto onDone = [this](CBoardReceiver::State state) {
        QMetaObject::invokeMethod(this, [this, state] { OnReadDone(state); }, Qt::QueuedConnection);
    };
    auto onGroup = [this](int group, const std::string& text) {
        QString line = Text(text);
        QMetaObject::invokeMethod(this, [this, group, line] { OnGroup(group, line); }, Qt::QueuedConnection);
    };
    CNozzleVoltageModel::Outcome started = m_model.StartRead(onDone, onGroup);
    if (!started.ok) {
        ShowMessage(Text(started.message));
        return;
    }
    m_reading = true;
    UpdateControls();
    m_groups->setText(QStringLiteral("0/%1").arg(CBoardReceiver::kGroups));
    Log(QStringLiteral("开始接收32组数据:"));
}

void CNozzleVoltage::OnGroup(int group, const QString& text) {
    m_groups->setText(QStringLiteral("%1/%2").arg(group).arg(CBoardReceiver::kGroups));
    Log(QStringLiteral("%1组: %2").arg(group - 1, 2).arg(text.trimmed()));
    emit groupReceived(group, text);
}

void CNozzleVoltage::OnReadDone(CBoardReceiver::State state) {
    m_reading = false;
    UpdateControls();
    bool ok = state == CBoardReceiver::State::Finished;
    if (ok) {
        Log(QStringLiteral("接收32组数据结束!"));
    } else if (const CBoardReceiver* receiver = m_model.Receiver()) {
        ShowMessage(Text(receiver->Error()));
    }
    emit readFinished(ok);
}

void CNozzleVoltage::reject() {
    StopSending();
    UpdateControls();
    // What the edits show is saved, sent or not; a value still being typed counts as typed.
    for (const auto& row : m_spins)
        for (QDoubleSpinBox* spin : row)
            if (spin) spin->interpretText();
    if (!m_model.SaveValues()) TraceLine("%s was not saved", m_model.TempVolPath().c_str());
    m_model.StopRead();
    QDialog::reject();
}

void CNozzleVoltage::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CNozzleVoltage::Log(const QString& line) {
    m_log->appendPlainText(line);
}

// Put up without waiting, so that the receive thread's groups keep arriving while it shows.
void CNozzleVoltage::ShowMessage(const QString& text) {
    Log(text);
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    emit messageShown(text);
}

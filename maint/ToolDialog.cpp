#include "maint/ToolDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QToolButton>

namespace {

QString ValueText(const std::optional<int>& value) {
    return value ? QString::number(*value) : QString();
}

}  // namespace

CToolDialog::CToolDialog(CAdjustmentSession& session, QWidget* parent)
    : QWidget(parent), m_session(session), m_storedTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("ToolDialog"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->addWidget(new QLabel(QStringLiteral("步进微调:"), this));
    m_feedPlus = AddButton("+", "feedPlus", &CToolDialog::OnFeedPlus);
    m_feedEdit = AddEdit("feedEdit");
    m_feedMinus = AddButton("_", "feedMinus", &CToolDialog::OnFeedMinus);
    layout->addSpacing(16);
    layout->addWidget(new QLabel(QStringLiteral("双向调整:"), this));
    m_bidPlus = AddButton("+", "bidPlus", &CToolDialog::OnBidPlus);
    m_bidEdit = AddEdit("bidEdit");
    m_bidMinus = AddButton("_", "bidMinus", &CToolDialog::OnBidMinus);
    layout->addStretch(1);
    connect(m_feedEdit, &QLineEdit::textEdited, this, &CToolDialog::OnEnChangeEdit3);
    connect(m_bidEdit, &QLineEdit::textEdited, this, &CToolDialog::OnEnChangeEdit2);

    m_storedTimer->setObjectName(QStringLiteral("storedTimer"));
    m_storedTimer->setSingleShot(true);
    SetShowStoredFor(CAdjustmentSession::kShowStoredFor);
    connect(m_storedTimer, &QTimer::timeout, this, &CToolDialog::ShowCorrections);

    // The callbacks run on printing threads: they only post, and the posted calls die with the dialog.
    CAdjustmentSession::Listener listener;
    listener.adjustingChanged = [this](bool adjusting) {
        QMetaObject::invokeMethod(this, [this, adjusting] { OnAdjustingChanged(adjusting); }, Qt::QueuedConnection);
    };
    listener.stored = [this](const CAdjustmentSession::Stored& stored) {
        QMetaObject::invokeMethod(this, [this, stored] { OnStored(stored); }, Qt::QueuedConnection);
    };
    listener.message = [this](const std::string& text) {
        QString message = QString::fromStdString(text);
        QMetaObject::invokeMethod(this, [this, message] { OnMessage(message); }, Qt::QueuedConnection);
    };
    m_listener = m_session.AddListener(std::move(listener));
    // Read after listening, so that a job beginning meanwhile is not missed: its event comes after.
    ShowCorrections();
    EnableControls(m_session.IsAdjusting());
}

CToolDialog::~CToolDialog() {
    m_listener.Reset();
}

QToolButton* CToolDialog::AddButton(const char* text, const char* name, void (CToolDialog::*handler)()) {
    auto* button = new QToolButton(this);
    button->setText(QString::fromUtf8(text));
    button->setObjectName(QString::fromUtf8(name));
    button->setAutoRaise(true);
    connect(button, &QToolButton::clicked, this, handler);
    layout()->addWidget(button);
    return button;
}

QLineEdit* CToolDialog::AddEdit(const char* name) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromUtf8(name));
    edit->setAlignment(Qt::AlignCenter);
    // Digits, and a sign, which "_" puts there anyway; nine digits stay within the range of a step count.
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[-+]?\\d{0,9}")), edit));
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("-00000000")));
    layout()->addWidget(edit);
    return edit;
}

void CToolDialog::SetShowStoredFor(std::chrono::milliseconds duration) {
    m_storedTimer->setInterval(static_cast<int>(duration.count()));
}

bool CToolDialog::IsShowingStored() const {
    return m_storedTimer->isActive();
}

void CToolDialog::OnFeedPlus() {
    m_session.StepFeed(1);
    m_feedEdit->setText(QString::number(m_session.Feed()));
}

void CToolDialog::OnFeedMinus() {
    m_session.StepFeed(-1);
    m_feedEdit->setText(QString::number(m_session.Feed()));
}

void CToolDialog::OnBidPlus() {
    m_session.StepBid(1);
    m_bidEdit->setText(QString::number(m_session.Bid()));
}

void CToolDialog::OnBidMinus() {
    m_session.StepBid(-1);
    m_bidEdit->setText(QString::number(m_session.Bid()));
}

void CToolDialog::OnEnChangeEdit3(const QString& text) {
    m_session.SetFeed(CAdjustmentSession::ParseEditText(text.toStdString()));
}

void CToolDialog::OnEnChangeEdit2(const QString& text) {
    m_session.SetBid(CAdjustmentSession::ParseEditText(text.toStdString()));
}

// A job that starts while the last one's values are still shown needs the corrections in the edits: what
// the operator types or clicks from then on changes them.
void CToolDialog::OnAdjustingChanged(bool adjusting) {
    if (adjusting && IsShowingStored()) {
        m_storedTimer->stop();
        ShowCorrections();
    }
    EnableControls(adjusting);
}

void CToolDialog::OnStored(const CAdjustmentSession::Stored& stored) {
    if (m_session.IsAdjusting()) return;  // the next job has begun already: its corrections matter now
    QString feed = ValueText(stored.feed);
    QString bid = ValueText(stored.bid);
    m_feedEdit->setText(feed);
    m_bidEdit->setText(bid);
    m_storedTimer->start();
    emit storedShown(feed, bid);
}

void CToolDialog::ShowCorrections() {
    m_feedEdit->setText(QString::number(m_session.Feed()));
    m_bidEdit->setText(QString::number(m_session.Bid()));
    emit correctionsShown();
}

void CToolDialog::EnableControls(bool enable) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_feedEdit, m_bidEdit, m_feedPlus, m_feedMinus, m_bidPlus, m_bidMinus})
        control->setEnabled(enable);
}

// Put up without waiting: the operator may go on adjusting while it shows.
void CToolDialog::OnMessage(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Tessarin"), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    emit messageShown(text);
}

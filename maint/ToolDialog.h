#pragma once

#include <QWidget>
#include <chrono>

#include "maint/AdjustmentSession.h"

class QLineEdit;
class QTimer;
class QToolButton;

// The two live corrections of the printing job, feed step and bidirectional compensation, each an edit
// with a "+" and a "_" beside it. Every click and every typed change goes straight to the session, which
// passes it to the printer library; the session's copy is what the printing threads read, never a widget.
//
// The session's events come from the printing threads and are posted to this widget's thread. When a job
// ends with its corrections stored, the new machine values stay in the edits for a while (a GUI timer, the
// printing thread does not wait for it), then the edits show the corrections again, which start from 0.
class CToolDialog : public QWidget {
    Q_OBJECT
public:
    // The session must outlive the dialog.
    explicit CToolDialog(CAdjustmentSession& session, QWidget* parent = nullptr);
    ~CToolDialog() override;

    // How long the stored values stay in the edits; CAdjustmentSession::kShowStoredFor unless changed.
    void SetShowStoredFor(std::chrono::milliseconds duration);
    bool IsShowingStored() const;

signals:
    // The edits show what the end of a job stored; empty text for a value that could not be stored.
    void storedShown(const QString& feed, const QString& bid);
    // The edits show the corrections again.
    void correctionsShown();
    // A message for the operator was put up (without waiting for it to be closed).
    void messageShown(const QString& text);

private:
    // The "+" and "_" beside each edit.
    void OnFeedPlus();
    void OnFeedMinus();
    void OnBidPlus();
    void OnBidMinus();
    // Text typed into the feed edit, and into the bidirectional edit.
    void OnEnChangeEdit3(const QString& text);
    void OnEnChangeEdit2(const QString& text);

    void OnAdjustingChanged(bool adjusting);
    void OnStored(const CAdjustmentSession::Stored& stored);
    void OnMessage(const QString& text);
    void ShowCorrections();
    void EnableControls(bool enable);

    QToolButton* AddButton(const char* text, const char* name, void (CToolDialog::*handler)());
    QLineEdit* AddEdit(const char* name);

    CAdjustmentSession& m_session;
    QLineEdit* m_feedEdit = nullptr;
    QLineEdit* m_bidEdit = nullptr;
    QToolButton* m_feedPlus = nullptr;
    QToolButton* m_feedMinus = nullptr;
    QToolButton* m_bidPlus = nullptr;
    QToolButton* m_bidMinus = nullptr;
    QTimer* m_storedTimer = nullptr;
    // Last: removed first, so that no session event is posted to a dialog that is going.
    CAdjustmentSession::ListenerHandle m_listener;
};

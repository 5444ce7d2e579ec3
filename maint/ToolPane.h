#pragma once

#include <QDockWidget>

class CAdjustmentSession;
class CToolDialog;

// The utility toolbar pane: a fixed pane at the top of the main window holding the adjustment tool.
class CToolPane : public QDockWidget {
    Q_OBJECT
public:
    // The session must outlive the pane.
    explicit CToolPane(CAdjustmentSession& session, QWidget* parent = nullptr);
    ~CToolPane() override;

    CToolDialog& Dialog() const { return *m_dialog; }

private:
    CToolDialog* m_dialog;  // a child of the pane
};

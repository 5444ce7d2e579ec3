#include "maint/ToolPane.h"

#include "maint/ToolDialog.h"

CToolPane::CToolPane(CAdjustmentSession& session, QWidget* parent)
    : QDockWidget(QStringLiteral("实用工具栏"), parent), m_dialog(new CToolDialog(session, this)) {
    setObjectName(QStringLiteral("ToolPane"));
    // Docked where the main window puts it: it neither floats nor closes.
    setFeatures(QDockWidget::NoDockWidgetFeatures);
    setAllowedAreas(Qt::TopDockWidgetArea);
    setWidget(m_dialog);
}

CToolPane::~CToolPane() = default;

#include "panes/PrintPane.h"

#include <QTabWidget>

#include "panes/PrintList.h"
#include "shell/Trace.h"

CPrintPane::CPrintPane(std::filesystem::path configPath, QWidget* parent)
    : QDockWidget(QStringLiteral("Print Job"), parent), m_tabs(new QTabWidget(this)) {
    setObjectName(QStringLiteral("PrintPane"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    m_tabs->setTabPosition(QTabWidget::South);
    m_tabs->setDocumentMode(true);
    m_list = new CPrintList(std::move(configPath), m_tabs);
    m_tabs->addTab(m_list, QStringLiteral("Progress"));
    setWidget(m_tabs);
}

void CPrintPane::AddPrintJob(const std::shared_ptr<CPrintJob>& job) { m_list->AddPrintJob(job); }

void CPrintPane::SetPrintJob(const std::shared_ptr<CPrintJob>& job, int32_t nCopy) {
    TraceLine("打印平面：设置一个打印作业项目");
    m_list->SetPrintJob(job, nCopy);
}

std::shared_ptr<CPrintJob> CPrintPane::GetSelectedJob() const { return m_list->GetSelectedJob(); }

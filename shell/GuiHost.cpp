#include "shell/GuiHost.h"

#include <QCoreApplication>

#include "maint/AdjustmentSession.h"
#include "shell/MainFrm.h"
#include "shell/PostedCallEvent.h"
#include "shell/StatusChangedEvent.h"

CGuiHost::CGuiHost(CMainFrame& frame, std::shared_ptr<const CLayoutValues> layout, CAdjustmentSession* adjustment)
    : m_frame(frame), m_layout(std::move(layout)), m_adjustment(adjustment) {}

void CGuiHost::PostStatusChanged(const std::shared_ptr<CPrintJob>& job, int32_t nCopy) {
    QCoreApplication::postEvent(&m_frame, new CStatusChangedEvent(job, nCopy));
}

void CGuiHost::AddPrintJob(const std::shared_ptr<CPrintJob>& job) {
    QCoreApplication::postEvent(&m_frame, new CPostedCallEvent([job](CMainFrame& frame) { frame.AddPrintJob(job); }));
}

void CGuiHost::BeginAdjustment() {
    if (m_adjustment) m_adjustment->Begin();
}

void CGuiHost::EndAdjustment(bool bSave) {
    if (m_adjustment) m_adjustment->End(bSave);
}

void CGuiHost::ShowHead(const RipHead& head) {
    QCoreApplication::postEvent(&m_frame, new CPostedCallEvent([head](CMainFrame& frame) { frame.ShowHead(head); }));
}

void CGuiHost::BrowseToFolder(const std::filesystem::path& folder) {
    QCoreApplication::postEvent(&m_frame,
                                new CPostedCallEvent([folder](CMainFrame& frame) { frame.BrowseToFolder(folder); }));
}

void CGuiHost::ReportMessage(const std::string& message) {
    QCoreApplication::postEvent(&m_frame,
                                new CPostedCallEvent([message](CMainFrame& frame) { frame.ReportMessage(message); }));
}

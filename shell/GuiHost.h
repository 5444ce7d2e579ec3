#pragma once

#include <memory>

#include "engine/PrintHost.h"
#include "shell/LayoutValues.h"

class CAdjustmentSession;
class CMainFrame;

// The window's side of the printing threads: every request is posted to the main window, in order, and
// never waited for. The layout values are read from the property pane's atomic copies; the corrections
// around each copy go to the adjustment session.
class CGuiHost : public PrintHost {
public:
    CGuiHost(CMainFrame& frame, std::shared_ptr<const CLayoutValues> layout, CAdjustmentSession* adjustment);

    void PostStatusChanged(const std::shared_ptr<CPrintJob>& job, int32_t nCopy) override;
    void AddPrintJob(const std::shared_ptr<CPrintJob>& job) override;
    int32_t GetXCopies() override { return m_layout->Get(CLayoutValues::X_COPIES); }
    int32_t GetXSpacing() override { return m_layout->Get(CLayoutValues::X_SPACING); }
    int32_t GetYCopies() override { return m_layout->Get(CLayoutValues::Y_COPIES); }
    int32_t GetYSpacing() override { return m_layout->Get(CLayoutValues::Y_SPACING); }
    void BeginAdjustment() override;
    void EndAdjustment(bool bSave) override;
    void ShowHead(const RipHead& head) override;
    void BrowseToFolder(const std::filesystem::path& folder) override;
    void ReportMessage(const std::string& message) override;

private:
    CMainFrame& m_frame;
    const std::shared_ptr<const CLayoutValues> m_layout;
    CAdjustmentSession* const m_adjustment;
};

#pragma once

#include <QDockWidget>
#include <filesystem>
#include <memory>

#include "engine/PrintJob.h"

class CPrintList;
class QTabWidget;

// The job list pane: a tab control with the single tab "Progress" holding the job list.
class CPrintPane : public QDockWidget {
    Q_OBJECT
public:
    CPrintPane(std::filesystem::path configPath, QWidget* parent = nullptr);

    void AddPrintJob(const std::shared_ptr<CPrintJob>& job);
    void SetPrintJob(const std::shared_ptr<CPrintJob>& job, int32_t nCopy);
    std::shared_ptr<CPrintJob> GetSelectedJob() const;
    CPrintList* List() const { return m_list; }
    QTabWidget* Tabs() const { return m_tabs; }

private:
    QTabWidget* m_tabs;
    CPrintList* m_list;
};

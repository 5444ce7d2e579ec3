#pragma once

#include <QTreeWidget>
#include <filesystem>
#include <memory>

#include "engine/PrintJob.h"

class QMenu;

Q_DECLARE_METATYPE(std::shared_ptr<CPrintJob>)

// The job list: one row per print job with its file, state and progress, the progress also drawn as a
// bar. A row holds its job (shared with the engine's queue and the posted status events), so a row can
// never outlive its job. Rows change on the GUI thread only.
class CPrintList : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { COLUMN_FILE = 0, COLUMN_STATE = 1, COLUMN_SCHEDULE = 2, COLUMN_DETAILS = 3, COLUMN_COUNT = 4 };
    // The role under which column 0 holds the row's job.
    static constexpr int kJobRole = Qt::UserRole + 1;

    explicit CPrintList(std::filesystem::path configPath, QWidget* parent = nullptr);

    void AddPrintJob(const std::shared_ptr<CPrintJob>& job);
    void InsertPrintJob(int index, const std::shared_ptr<CPrintJob>& job);
    // Refreshes the job's row for copy nCopy (from 1); nothing when the job has no row.
    void SetPrintJob(const std::shared_ptr<CPrintJob>& job, int32_t nCopy);
    // The job of the selected row with the lowest index, or null.
    std::shared_ptr<CPrintJob> GetSelectedJob() const;
    std::shared_ptr<CPrintJob> JobAt(int row) const;
    int RowOf(const CPrintJob* job) const;
    int RowCount() const { return topLevelItemCount(); }

    void SetColumnHeader(int column, const QString& text);
    // The context menu as it opens now: option texts and check marks from the files.
    std::unique_ptr<QMenu> CreateContextMenu();

    // Context menu commands.
    void OnPrintpaneset32811();  // toggles DeleteList
    void OnPrintpaneset32812();  // toggles DeleteListSource
    void OnPrintpaneset32829();  // removes the selected rows; their jobs go on

signals:
    // Cancel, pause and resume of the selected job: the main window's handlers carry them out.
    void CancelRequested();
    void PauseRequested();
    void ResumeRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool ToggleOption(const char* key);

    const std::filesystem::path m_configPath;
};

#pragma once

#include <QDockWidget>
#include <QString>

class CFilterShellListCtrl;

// The docking pane below the folder tree: the subfolders and job previews of one folder. Selecting a
// preview asks for its job to be opened.
class CFilePane : public QDockWidget {
    Q_OBJECT
public:
    explicit CFilePane(QWidget* parent = nullptr);

    CFilterShellListCtrl* List() const { return m_list; }
    QString GetCurrentFolder() const;

public slots:
    // Shows the folder selected in the folder tree.
    void ShowFolder(const QString& folder);
    // The program moved to a folder (CTessarinDoc::folderChanged): the list follows when it shows another
    // folder, and browsedTo lets the tree follow.
    void BrowseToFolder(const QString& folder);

signals:
    // A file was selected in the list: the path of a preview, whose job the document opens.
    void openRequested(const QString& path);
    void browsedTo(const QString& folder);

private:
    void OnEntrySelected(const QModelIndex& entry);
    void ShowContextMenu(const QPoint& pos);

    CFilterShellListCtrl* m_list;
};

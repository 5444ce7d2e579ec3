#pragma once

#include <QDockWidget>
#include <QString>

class QFileSystemModel;
class QTreeView;
class CFilePane;

// The docking pane of the folder tree: every folder of the disk from the root, for browsing to jobs.
// Selecting a folder shows it in the linked file pane.
class CFolderPane : public QDockWidget {
    Q_OBJECT
public:
    explicit CFolderPane(QWidget* parent = nullptr);

    // Selecting a folder here shows it in `files`; a folder `files` is moved to is selected here.
    void LinkTo(CFilePane* files);

    QTreeView* Tree() const { return m_tree; }
    // The folder selected in the tree, or empty.
    QString SelectedFolder() const;

public slots:
    // Selects the folder and expands the tree down to it and its children.
    void SelectFolder(const QString& folder);

signals:
    void folderSelected(const QString& folder);

private:
    void ShowContextMenu(const QPoint& pos);

    void ShowSelected();

    QFileSystemModel* m_folders;
    QTreeView* m_tree;
    // The folder last asked for: the tree scrolls to it again as its parents are read from the disk.
    QString m_wanted;
};

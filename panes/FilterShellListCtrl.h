#pragma once

#include <QListView>
#include <QString>
#include <QStringList>

class QFileSystemModel;
class QSortFilterProxyModel;

// The file pane's list: the entries of one folder, with every file left out but the preview pictures of
// job files. Folders are listed, so the operator can walk the disk from here too.
class CFilterShellListCtrl : public QListView {
    Q_OBJECT
public:
    explicit CFilterShellListCtrl(QWidget* parent = nullptr);

    // Whether a file (not a folder) of this name is listed: its text from three characters before its last
    // "." to the end, in lower case, is "prn.bmp" or "prt.bmp"; a name without "." is not listed.
    static bool IsListedFile(const QString& fileName);

    // Shows `folder`; nothing changes when it is shown already.
    void DisplayFolder(const QString& folder);
    // The folder shown, or empty before the first.
    QString GetCurrentFolder() const { return m_folder; }
    // The file-system path of a row of this list, or empty.
    QString FilePath(const QModelIndex& index) const;
    // The names listed now, in their order (what has been read of the folder so far).
    QStringList ListedNames() const;

private:
    QFileSystemModel* m_files;
    QSortFilterProxyModel* m_filter;
    QString m_folder;
};

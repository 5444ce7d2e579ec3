#include "panes/FolderPane.h"

#include <QFileSystemModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QTreeView>

#include "panes/ExplorerMenu.h"
#include "panes/FilePane.h"

CFolderPane::CFolderPane(QWidget* parent)
    : QDockWidget(QStringLiteral("Folder"), parent), m_folders(new QFileSystemModel(this)), m_tree(new QTreeView(this)) {
    setObjectName(QStringLiteral("FolderPane"));
    m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_folders->setRootPath(QString());
    m_tree->setModel(m_folders);
    for (int column = 1; column < m_folders->columnCount(); ++column) m_tree->hideColumn(column);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setAllColumnsShowFocus(true);
    m_tree->setMouseTracking(true);  // hot tracking
    m_tree->sortByColumn(0, Qt::AscendingOrder);
    m_tree->setSortingEnabled(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    setWidget(m_tree);
    setFocusProxy(m_tree);

    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid()) emit folderSelected(m_folders->filePath(current));
    });
    connect(m_tree, &QWidget::customContextMenuRequested, this, &CFolderPane::ShowContextMenu);
    // Folders are read and sorted in the background, so rows above the wanted one may still come and push
    // it out of sight; it is brought back until the operator scrolls or selects another folder.
    const auto keepInSight = [this] {
        if (!m_wanted.isEmpty() && SelectedFolder() == m_wanted) ShowSelected();
    };
    connect(m_folders, &QFileSystemModel::directoryLoaded, this, keepInSight);
    connect(m_folders, &QAbstractItemModel::layoutChanged, this, keepInSight);
    connect(m_folders, &QAbstractItemModel::rowsInserted, this, keepInSight);
    connect(m_tree->verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] { m_wanted.clear(); });
}

void CFolderPane::LinkTo(CFilePane* files) {
    connect(this, &CFolderPane::folderSelected, files, &CFilePane::ShowFolder);
    connect(files, &CFilePane::browsedTo, this, &CFolderPane::SelectFolder);
}

QString CFolderPane::SelectedFolder() const {
    const QModelIndex current = m_tree->currentIndex();
    return current.isValid() ? m_folders->filePath(current) : QString();
}

void CFolderPane::SelectFolder(const QString& folder) {
    const QModelIndex index = m_folders->index(folder);
    if (!index.isValid()) return;
    m_wanted = folder;
    m_tree->setCurrentIndex(index);
    ShowSelected();
}

void CFolderPane::ShowSelected() {
    const QModelIndex index = m_tree->currentIndex();
    m_tree->expand(index);
    m_tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void CFolderPane::ShowContextMenu(const QPoint& pos) {
    const QModelIndex under = m_tree->indexAt(pos);
    if (under.isValid()) m_tree->setCurrentIndex(under);
    m_tree->setFocus(Qt::PopupFocusReason);
    CExplorerMenu::PopUp(m_tree, m_tree->viewport()->mapToGlobal(pos));
}

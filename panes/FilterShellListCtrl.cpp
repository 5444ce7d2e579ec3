#include "panes/FilterShellListCtrl.h"

#include <QFileSystemModel>
#include <QSortFilterProxyModel>

namespace {

// Folders, and entries whose status cannot be read, pass as they are; files pass by their name.
class PreviewFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        const auto* files = static_cast<const QFileSystemModel*>(sourceModel());
        const QModelIndex entry = files->index(row, 0, parent);
        if (files->isDir(entry)) return true;
        const QFileInfo info = files->fileInfo(entry);
        if (info.absoluteFilePath().isEmpty() || !info.exists()) return true;
        return CFilterShellListCtrl::IsListedFile(info.fileName());
    }
};

}  // namespace

CFilterShellListCtrl::CFilterShellListCtrl(QWidget* parent)
    : QListView(parent), m_files(new QFileSystemModel(this)), m_filter(new PreviewFilter(this)) {
    m_files->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | QDir::System);
    m_files->sort(0);  // folders first, then by name, as folders are read
    m_filter->setSourceModel(m_files);
    setModel(m_filter);
    // Large icons, arranged by the view, one selected at a time, which stays shown without the focus.
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWrapping(true);
    setIconSize(QSize(32, 32));
    setGridSize(QSize(136, 60));
    setTextElideMode(Qt::ElideMiddle);  // the end of a name tells a .prn preview from a .prt one
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
}

bool CFilterShellListCtrl::IsListedFile(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf('.');
    if (dot < 0) return false;
    const QString tail = fileName.mid(std::max<qsizetype>(0, dot - 3)).toLower();
    return tail == QLatin1String("prn.bmp") || tail == QLatin1String("prt.bmp");
}

void CFilterShellListCtrl::DisplayFolder(const QString& folder) {
    if (folder == m_folder) return;
    m_folder = folder;
    setRootIndex(m_filter->mapFromSource(m_files->setRootPath(folder)));
}

QString CFilterShellListCtrl::FilePath(const QModelIndex& index) const {
    if (!index.isValid()) return {};
    return m_files->filePath(m_filter->mapToSource(index));
}

QStringList CFilterShellListCtrl::ListedNames() const {
    QStringList names;
    const QModelIndex root = rootIndex();
    for (int row = 0; row < m_filter->rowCount(root); ++row) names << m_filter->index(row, 0, root).data().toString();
    return names;
}

#include "panes/FilePane.h"

#include <QFileInfo>

#include "panes/ExplorerMenu.h"
#include "panes/FilterShellListCtrl.h"
#include "shell/Trace.h"

CFilePane::CFilePane(QWidget* parent) : QDockWidget(QStringLiteral("File View"), parent), m_list(new CFilterShellListCtrl(this)) {
    setObjectName(QStringLiteral("FilePane"));
    // A 1-pixel line in the button-shadow colour around the list.
    m_list->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_list->setLineWidth(1);
    QPalette framed = m_list->palette();
    framed.setColor(QPalette::WindowText, framed.color(QPalette::Dark));
    m_list->setPalette(framed);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    setWidget(m_list);
    setFocusProxy(m_list);

    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                if (!selected.indexes().isEmpty()) OnEntrySelected(selected.indexes().first());
            });
    connect(m_list, &QWidget::customContextMenuRequested, this, &CFilePane::ShowContextMenu);
}

QString CFilePane::GetCurrentFolder() const { return m_list->GetCurrentFolder(); }

void CFilePane::ShowFolder(const QString& folder) { m_list->DisplayFolder(folder); }

void CFilePane::BrowseToFolder(const QString& folder) {
    // Names differ by letter case here, so only the same letters are the same folder.
    if (m_list->GetCurrentFolder() == folder) return;
    ShowFolder(folder);
    emit browsedTo(folder);
}

void CFilePane::OnEntrySelected(const QModelIndex& entry) {
    const QString text = entry.data().toString();
    TraceLine("%s", text.toUtf8().constData());
    if (text.isEmpty()) return;
    const QString path = m_list->FilePath(entry);
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || info.isDir()) return;
    emit openRequested(path);
}

void CFilePane::ShowContextMenu(const QPoint& pos) {
    m_list->setFocus(Qt::PopupFocusReason);
    CExplorerMenu::PopUp(m_list, m_list->viewport()->mapToGlobal(pos));
}

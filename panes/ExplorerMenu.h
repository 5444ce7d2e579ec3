#pragma once

#include <QMenu>

// The popup of the folder tree and the file list, "资源管理器" (explorer). Its items are there as the
// operator knows them from the file browser; none of them does anything yet.
class CExplorerMenu : public QMenu {
    Q_OBJECT
public:
    explicit CExplorerMenu(QWidget* parent = nullptr);

    // A menu that deletes itself once closed, popped up at `globalPos`.
    static CExplorerMenu* PopUp(QWidget* parent, const QPoint& globalPos);
};

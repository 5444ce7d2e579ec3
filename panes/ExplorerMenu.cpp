#include "panes/ExplorerMenu.h"

CExplorerMenu::CExplorerMenu(QWidget* parent) : QMenu(QString::fromUtf8("资源管理器"), parent) {
    for (const char* text : {"打开(&O)", "打开方式(&W)....", "编译(&C)", "剪切(&T)\tCtrl+X", "复制(&C)\tCtrl+C",
                             "删除(&R)", "属性(&R)"})
        addAction(QString::fromUtf8(text));
}

CExplorerMenu* CExplorerMenu::PopUp(QWidget* parent, const QPoint& globalPos) {
    auto* menu = new CExplorerMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
    return menu;
}

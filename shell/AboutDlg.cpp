#include "shell/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "shell/MyMFCToolbar.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("关于 Tessarin"));
    setModal(true);
    auto* icon = new QLabel(this);
    icon->setPixmap(CMyMFCToolbar::ApplicationIcon().pixmap(48, 48));
    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel(QStringLiteral("Tessarin，1.0 版"), this));
    texts->addWidget(new QLabel(QStringLiteral("Print manager for wide-format inkjet printers"), this));
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

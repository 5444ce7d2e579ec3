#include "shell/MyMFCToolbar.h"

#include <QAction>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include "shell/CommandTable.h"
#include "shell/LanguageText.h"

namespace {

const ToolbarButtonInfo* FindButton(int32_t nId) {
    for (const auto& button : cmdtable::MainToolbar())
        if (button.nId != 0 && button.nId == nId) return &button;
    return nullptr;
}

void DrawOpen(QPainter& p) {
    p.setPen(QPen(QColor(150, 110, 20), 1.5));
    p.setBrush(QColor(240, 200, 80));
    p.drawRect(QRectF(3, 8, 24, 19));
    p.drawRect(QRectF(3, 5, 10, 4));
    p.setBrush(QColor(255, 225, 120));
    const QPointF front[] = {{7, 13}, {30, 13}, {26, 27}, {3, 27}};
    p.drawPolygon(front, 4);
}

void DrawPrinter(QPainter& p) {
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 3, 14, 10));
    p.setBrush(QColor(120, 130, 145));
    p.drawRoundedRect(QRectF(3, 11, 26, 12), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 19, 14, 10));
    p.setPen(QPen(QColor(0, 0, 255), 1.5));
    p.drawLine(QPointF(11, 23), QPointF(21, 23));
    p.drawLine(QPointF(11, 26), QPointF(18, 26));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 200, 60));
    p.drawEllipse(QPointF(25, 15), 1.5, 1.5);
}

void DrawCancel(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(210, 40, 40));
    p.drawEllipse(QRectF(3, 3, 26, 26));
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 11), QPointF(21, 21));
    p.drawLine(QPointF(21, 11), QPointF(11, 21));
}

void DrawSetup(QPainter& p) {
    DrawPrinter(p);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(250, 170, 30));
    QPainterPath gear;
    gear.addEllipse(QPointF(24, 24), 6.5, 6.5);
    p.drawPath(gear);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(24, 24), 2.5, 2.5);
}

}  // namespace

CMyMFCToolbar::CMyMFCToolbar(QWidget* parent) : QToolBar(QString::fromUtf8(cmdtable::kToolbarInitialText), parent) {
    setObjectName(QStringLiteral("MainToolbar"));
    setIconSize(QSize(32, 32));
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setContentsMargins(1, 1, 1, 1);
}

QString CMyMFCToolbar::ToolTipFor(int32_t nId) {
    const ToolbarButtonInfo* button = FindButton(nId);
    return button ? QString::fromStdString(GetLanguageText("TOOLBAR", button->szTipKey, cmdtable::kNoText)) : QString();
}

QString CMyMFCToolbar::PromptFor(int32_t nId) {
    const ToolbarButtonInfo* button = FindButton(nId);
    return button ? QString::fromStdString(GetLanguageText("TOOLBAR", button->szPromptKey, cmdtable::kNoText))
                  : QString();
}

bool CMyMFCToolbar::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QToolBar::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QAction* action = actionAt(help->pos());
    const QString text = action ? ToolTipFor(action->data().toInt()) : QString();
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, this);
    return true;
}

QIcon CMyMFCToolbar::CommandIcon(int32_t nId) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (nId) {
        case cmd::ID_FILE_OPEN: DrawOpen(painter); break;
        case cmd::ID_TESSARIN_PRINT: DrawPrinter(painter); break;
        case cmd::ID_TESSARIN_STOP: DrawCancel(painter); break;
        case cmd::ID_FILE_PRINT_SETUP: DrawSetup(painter); break;
        default: break;
    }
    return QIcon(pixmap);
}

QIcon CMyMFCToolbar::ApplicationIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // Four ink stripes, the colours of the planes.
    const QColor inks[] = {QColor(0, 174, 239), QColor(236, 0, 140), QColor(255, 221, 0), QColor(30, 30, 30)};
    for (int i = 0; i < 4; ++i) {
        painter.setBrush(inks[i]);
        painter.drawRoundedRect(QRectF(4 + i * 14.5, 4, 12, 56), 4, 4);
    }
    painter.setPen(QPen(Qt::white, 6));
    painter.drawLine(QPointF(14, 18), QPointF(50, 18));
    painter.drawLine(QPointF(32, 18), QPointF(32, 52));
    return QIcon(pixmap);
}

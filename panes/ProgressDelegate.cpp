#include "panes/ProgressDelegate.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>

#include "panes/PrintList.h"

QRect CProgressDelegate::BarRect(const QRect& cell, int progress) {
    const QRect inner = cell.adjusted(3, 3, -3, -3);
    const int clamped = std::clamp(progress, 0, 100);
    return QRect(inner.left(), inner.top(), inner.width() * clamped / 100, inner.height());
}

void CProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    // The list draws the cell first (selection, focus), then the bar goes over it.
    QStyledItemDelegate::paint(painter, option, index);
    const auto job = index.sibling(index.row(), CPrintList::COLUMN_FILE)
                         .data(CPrintList::kJobRole)
                         .value<std::shared_ptr<CPrintJob>>();
    const int progress = job ? job->GetProgress() : 0;
    // A tab in the text is the gap between the copy and the progress, as a list control shows it.
    const QString text = index.data(Qt::DisplayRole).toString().replace(QLatin1Char('\t'), QStringLiteral("  "));

    painter->save();
    const QRect frame = option.rect.adjusted(2, 2, -2, -2);
    painter->setPen(QPen(QApplication::palette().color(QPalette::Button), 0));
    painter->setBrush(Qt::white);
    painter->drawRect(frame.adjusted(0, 0, -1, -1));
    painter->setPen(Qt::black);
    painter->drawText(frame, Qt::AlignCenter | Qt::TextSingleLine, text);

    const QRect bar = BarRect(option.rect, progress);
    if (bar.width() > 0) {
        painter->fillRect(bar, QColor(0, 0, 255));
        painter->setClipRect(bar);
        painter->setPen(Qt::white);
        painter->drawText(frame, Qt::AlignCenter | Qt::TextSingleLine, text);
    }
    painter->restore();
}

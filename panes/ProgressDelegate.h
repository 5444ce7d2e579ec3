#pragma once

#include <QStyledItemDelegate>

// Draws the Schedule cell of a job row: the text centred on white, and the job's progress as a blue bar
// from the left over it, the text turning white where the bar covers it.
class CProgressDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The inner bar of a cell: its rectangle shrunk by 3 pixels on every side, filled to `progress` percent.
    static QRect BarRect(const QRect& cell, int progress);
};

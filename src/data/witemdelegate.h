#pragma once

#include <QStyledItemDelegate>

// Gives every row of a view the same compact height.
class WItemDelegate : public QStyledItemDelegate
{
public:
    WItemDelegate();

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

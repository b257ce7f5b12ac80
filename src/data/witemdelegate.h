#pragma once

#include <QStyledItemDelegate>

// Gives every item of a view the same compact row height.
class WItemDelegate : public QStyledItemDelegate
{
public:
    WItemDelegate();

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

#include "data/witemdelegate.h"

WItemDelegate::WItemDelegate() : QStyledItemDelegate(nullptr) {}

QSize WItemDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(25, 25);
}

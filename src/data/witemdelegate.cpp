#include "data/witemdelegate.h"

WItemDelegate::WItemDelegate() : QStyledItemDelegate(nullptr) {}

QSize WItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // The width stays the text's, so that a column sized to its contents shows them whole.
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 25);
}

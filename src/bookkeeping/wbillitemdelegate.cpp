#include "bookkeeping/wbillitemdelegate.h"

#include <QApplication>
#include <QPainter>
#include <QTreeView>

namespace {
// The column whose text holds a date-group row's sums.
const int sumsColumn = 4;

bool isDateGroup(const QModelIndex& index)
{
    return !index.parent().isValid();
}
} // namespace

void WBillItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    WItemDelegate::paint(painter, option, index);
    if (!isDateGroup(index) || index.column() != 0)
        return;
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    QRect sums = style->subElementRect(QStyle::SE_ItemViewItemText, &item, option.widget);
    sums.setLeft(sums.left() + item.fontMetrics.horizontalAdvance(item.text + "    "));
    const QString text = index.siblingAtColumn(sumsColumn).data().toString();
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(QPalette::Text));
    painter->drawText(sums, Qt::AlignRight | Qt::AlignVCenter,
                      item.fontMetrics.elidedText(text, Qt::ElideLeft, sums.width()));
    painter->restore();
}

void WBillItemDelegate::spanDateGroups(QTreeView* view)
{
    const auto span = [view] {
        for (int row = 0; row < view->model()->rowCount(); ++row)
            view->setFirstColumnSpanned(row, QModelIndex(), true);
    };
    span();
    QObject::connect(view->model(), &QAbstractItemModel::modelReset, view, span);
}

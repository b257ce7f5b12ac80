#pragma once

#include "data/witemdelegate.h"

class QTreeView;

// The rows of the bill list, at the fixed height of every list. A date-group row is one line across the whole
// view (`spanDateGroups`): its date at the left and the day's sums at the right, so that a busy day's figures
// have the width the empty bill columns would take; when even that is too narrow, the leading figures give way,
// never the subtotal at the end.
class WBillItemDelegate : public WItemDelegate
{
public:
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Makes every date-group row of the view span its columns, now and after each reset of its model.
    static void spanDateGroups(QTreeView* view);
};

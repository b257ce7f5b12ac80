#pragma once

#include "bookkeeping/filterbox.h"

#include <QCoreApplication>

class QObject;
class QStandardItemModel;

// The items of the bill list's filter boxes, read afresh from the record classes on every call: the item text
// is a record's name (a kind's label), the item data its id (the kind code, the month).
class BillFilterItems
{
    Q_DECLARE_TR_FUNCTIONS(BillFilterItems)

public:
    // The data of the date box's first two items.
    static constexpr int monthAll = 0;
    static constexpr int monthPeriod = 1;

    static FilterBox::Items kinds();
    static FilterBox::Items months();
    static FilterBox::Items accounts();
    static FilterBox::Items borrowers();
    static FilterBox::Items members();
    // A new tree: every category, then the expense and the income root, each with its categories ("c" and the
    // id) and their sub-categories ("s" and the id).
    static QStandardItemModel* categories(QObject* parent);

private:
    static void buildCategoryModel(QStandardItemModel* model, const QString& kind);
};

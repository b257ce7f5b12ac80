#include "bookkeeping/filterbox.h"

#include "widgets/popupwidth.h"

#include <QComboBox>
#include <QSignalBlocker>

bool FilterBox::refill(QComboBox* box, const Items& items)
{
    const QVariant shown = box->currentData();
    {
        const QSignalBlocker blocker(box);
        box->clear();
        for (const auto& item : items)
            box->addItem(item.first, item.second);
    }
    PopupWidth::fit(box);
    return show(box, shown);
}

bool FilterBox::show(QComboBox* box, const QVariant& data)
{
    const QSignalBlocker blocker(box);
    const QAbstractItemModel* model = box->model();
    const QModelIndexList hits = data.isValid() ? model->match(model->index(0, box->modelColumn()), Qt::UserRole, data,
                                                               1, Qt::MatchExactly | Qt::MatchRecursive)
                                                : QModelIndexList();
    if (hits.isEmpty()) {
        box->setCurrentIndex(0);
        return false;
    }
    // The box picks its current item among the rows under its root, so a row deeper in a tree is reached by
    // rooting the box at the row's parent for a moment, as a pick in the tree popup does.
    const QModelIndex hit = hits.first();
    box->setRootModelIndex(hit.parent());
    box->setCurrentIndex(hit.row());
    box->setRootModelIndex(QModelIndex());
    return true;
}

void FilterBox::reset(QComboBox* box)
{
    const QSignalBlocker blocker(box);
    box->setRootModelIndex(QModelIndex());
    box->setCurrentIndex(0);
}

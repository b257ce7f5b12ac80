#include "widgets/popupwidth.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QScreen>

void PopupWidth::fit(QComboBox* box)
{
    QAbstractItemView* list = box->view();
    list->ensurePolished();
    const int frame = 2 * list->frameWidth();
    const int room = box->screen()->availableGeometry().width() - frame;
    int widest = 0;
    for (int row = 0; row < box->count(); ++row) {
        const int width = list->sizeHintForIndex(box->model()->index(row, box->modelColumn())).width();
        widest = qMax(widest, width);
        box->setItemData(row, width > room ? box->itemText(row) : QVariant(), Qt::ToolTipRole);
    }
    list->setMinimumWidth(qMin(widest, room) + frame);
}

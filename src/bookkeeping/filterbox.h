#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

class QComboBox;

// The filter boxes of the bill list carry each record's id (or a kind code, a month) as the item data of the
// user role. A refill goes back to the item that showed before, found by that data, so that a filter stays in
// force only while its box still shows it.
class FilterBox
{
public:
    using Items = QList<QPair<QString, QVariant>>;

    // Replaces the items of a list box with its signals blocked; false when the item shown before is gone and
    // the box shows its first item instead.
    static bool refill(QComboBox* box, const Items& items);
    // Shows the item of the box's model, at any depth of a tree, whose data is `data`, with the box's signals
    // blocked; false, with the first item shown, when there is none.
    static bool show(QComboBox* box, const QVariant& data);
    // Shows the first item without running the box's handlers.
    static void reset(QComboBox* box);
};

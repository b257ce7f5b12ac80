#pragma once

#include <QComboBox>
#include <QList>
#include <QString>

// Combo boxes that offer records show each record's name and carry its id as the item's data, so that the
// choice is read back by id and never by a row position in a list that a change notice may have refilled.
class RecordCombo
{
public:
    // Replaces the items with one per record, in the list's order; the first becomes current. The list is a
    // copy: adding the first item runs change handlers that may open a dialog and drop the cache it came from.
    template <typename T> static void fill(QComboBox* combo, const QList<T*> records)
    {
        combo->clear();
        for (const T* record : records)
            combo->addItem(record->getName(), record->getId());
    }

    // Makes the item with exactly this id current; false, with the current item unchanged, when none has it.
    static bool select(QComboBox* combo, const QString& id);
    // The id of the current item; empty when no item is current.
    static QString currentId(const QComboBox* combo);
};

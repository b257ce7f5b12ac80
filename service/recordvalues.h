#pragma once

#include "textrows.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

struct TableChanges;

// The columns of a stored row, which the store keeps as one JSON object of texts: {"column":"text",...}.
class RecordValues
{
public:
    // Reads a stored row's object, replacing what was read before; false, with nothing read, when it is none.
    bool read(QByteArrayView json);
    // The text of the column; empty when the row has no such column.
    QByteArrayView value(QByteArrayView column) const;

    // Appends the object of a row the device sent to `out`: the row's columns, and those of `kept` that it lacks as
    // long as the record stays within the most columns a table has. Its id and stamp are kept beside the object, not
    // in it.
    static void write(QByteArray& out, const TableChanges& changes, qsizetype row, const RecordValues* kept);

private:
    // A name and a text per row.
    TextRows m_pairs{2};
    // The rows of m_pairs in the order of their names, those of one name in the order read: a lookup of each column
    // of a wide row would otherwise read the whole row.
    QList<qsizetype> m_order;
};

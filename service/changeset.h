#pragma once

#include "textrows.h"

#include <QByteArrayList>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// What a device sends for one synced table: its own column names, its changed rows (one text per column) and its
// deletions (id, stamp), every text in UTF-8.
struct TableChanges
{
    // The most columns a table has, as sent and as stored: the program's widest has 16, and what a later version may
    // add stays well within it.
    static constexpr qsizetype maxColumns = 64;

    // Whether the device sent a column of that name.
    bool hasColumn(QByteArrayView name) const;

    QString table;
    QByteArrayList columns;
    // The positions of the columns in the order of their names, to look names up in.
    QList<qsizetype> columnOrder;
    TextRows rows;
    TextRows deletions;
    int idColumn = -1;
    int versionColumn = -1;
};

// The upload of one sync, read and checked as a whole: one entry for each of the six synced tables, column
// names that are plain identifiers with "id" and "version" among them, every value a text, every stamp
// "yyyy-MM-dd hh:mm:ss". Anything else makes the whole upload unreadable. The texts are kept as they came, not as
// a tree of values, so that a large upload takes little more room than its text.
class ChangeSet
{
public:
    // The synced tables in the order devices send and receive them.
    static const QStringList& tableNames();

    // Reads the upload's JSON text; a byte sequence that is no UTF-8 reads as U+FFFD, as in the form's other fields.
    // False too when `stopped` says so, as it is asked before each row.
    bool read(QByteArrayView json, const std::function<bool()>& stopped);
    // One of the six tables of an upload that was read successfully.
    const TableChanges& table(const QString& name) const;

private:
    bool readValid(QByteArrayView json, const std::function<bool()>& stopped);

    QList<TableChanges> m_tables;
};

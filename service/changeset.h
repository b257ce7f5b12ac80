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
    // The longest id a row or deletion may have, in bytes of UTF-8. The program makes ids of 36 characters, and of 12
    // for the records every book starts with (the account's user id and two characters); a book imported from keddo
    // keeps the ids that program gave its records, made for a key as the program's are. 255 bytes leaves such ids
    // room many times over, while the store's key of a record, which holds the id, stays well within the some 1,000
    // bytes of a key that an index page of SQLite holds itself: a longer key spills into pages of its own, which
    // every write of every account whose place in the index lies past it reads.
    static constexpr qsizetype maxIdBytes = 255;

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
// names that are plain identifiers with "id" and "version" among them, every value a text, every id from one to
// TableChanges::maxIdBytes bytes without U+0000, every stamp "yyyy-MM-dd hh:mm:ss". Anything else makes the whole
// upload unreadable. The program makes no id with U+0000, and PostgreSQL keeps no text with one: refused, it is
// answered alike on either store.
// The texts are kept as they came, not as a tree of values, so that a large upload takes little more room than its
// text.
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

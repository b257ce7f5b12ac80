#pragma once

#include "storestatement.h"

#include <QStringList>
#include <QVariantList>

#include <functional>

class QSqlError;

// The table of records taken a range of its rows at a time, in the order of its key: on SQLite its rowid, in which
// its rows lie in the file, on PostgreSQL its primary key. Work done in ranges can give back what one range took
// before the next (a move on SQLite frees the rows it moved) and tell how far it has come between them. The key a
// range begins after is bound to its statements, which the store's connection runs as its own (StoreStatement).
class RecordRanges
{
public:
    RecordRanges(bool sqlite, StoreStatement::Maker statements, qint64 perRange);

    // Runs the statements that `statements` makes for a range on each range in turn, and tells `done` of the records
    // of the ranges run so far after each. A range is named to them in two ways: as the clause that picks its rows
    // from the table ("where ... order by ... limit ..."), and as the condition its rows meet. False, with `failure`
    // set, when a statement fails.
    bool forEach(const std::function<QStringList(const QString& rows, const QString& condition)>& statements,
                 const std::function<void(qint64)>& done, QSqlError& failure);

private:
    // The clause that picks, of the records after the key `after` (of all when it is empty) in the key's order,
    // `count` from the `skipped`th on.
    QString pick(const QVariantList& after, qint64 count, qint64 skipped = 0) const;
    // The key of the range's last record, in `last`; empty when fewer records than a range's are left.
    bool lastOfRange(const QVariantList& after, QVariantList& last, QSqlError& failure) const;

    bool m_sqlite;
    StoreStatement::Maker m_statements;
    // The key's columns.
    QString m_columns;
    qint64 m_perRange;
};

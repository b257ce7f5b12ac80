#pragma once

#include "storestatement.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>

class QSqlDatabase;
class QSqlError;

// The table of records, made when missing and brought to the present shape from that of a store an earlier version
// made, in the transaction of the look at the tables (StoreSchema): a table made anew, with each record's size
// beside it before its values, the records moved into it, the old table dropped, and the triggers that keep the sizes
// right made (WireSizeSql); a table with sizes but without this version's triggers gets its sizes counted again and
// the triggers replaced. Either is done a range of records at a time, and tells the operator how far it has come. A
// table whose texts compare in the database's collation (TextCollation) is altered in place, its indexes made anew
// in one statement, in a third of the time moving the records would take. What a
// process of an earlier version writes meanwhile is never lost: on SQLite that transaction holds the store's
// writing, and on PostgreSQL the upgrade locks the old table against every reader and writer before it reads it, so
// that their statements wait for the upgrade, or fail where they wait no longer, and then find the new table.
class RecordsUpgrade
{
public:
    // The statements that take values are made by `statements` on the connection of `db`.
    RecordsUpgrade(QSqlDatabase& db, StoreStatement::Maker statements);

    // Makes the table, or brings it to the present shape: false, with `failure` set when a statement failed, or with
    // `error` saying why when the store's disk lacks the room the upgrade needs, which is looked at before anything
    // changes.
    bool createOrUpgrade(QSqlError& failure, QString& error);
    // What the operator reads of the transaction's failure: the step it was in and what went wrong, a full disk named
    // as such once the upgrade has begun.
    QString failureText(const QSqlError& failure) const;
    // After the transaction, committed or not: an upgrade gives its room in SQLite's write-ahead log back to the
    // disk, and one that committed says so.
    void end(bool committed);

private:
    // The table of records under the name given, as this version makes it.
    QString table(const QString& name) const;
    bool lockAndCount(QSqlError& failure);
    // Begins the work once the disk has the room it needs, telling the operator of the work and its room, or
    // false, with `error` saying so, when it lacks it.
    bool begin(QString& error);
    // The work, done to the records named.
    QString work(const QString& records) const;
    bool countAgain(QSqlError& failure);
    bool move(QSqlError& failure);
    bool moveSqlite(const QString& insert, QSqlError& failure);
    // Runs the statements on the records a range at a time (RecordRanges), of up to 2,000 records or 1 MB.
    bool inRanges(const std::function<QStringList(const QString&, const QString&)>& statements, QSqlError& failure);
    // Tells the operator how far the work has come, every 10 s: an upgrade of many records takes a minute and more.
    void tell(qint64 done);

    QSqlDatabase& m_db;
    StoreStatement::Maker m_statements;
    bool m_sqlite;
    // Whether the records are moved into a table made anew, or have their sizes counted again; the statement that
    // makes their texts compare as bytes, where the table is altered.
    bool m_moved = false;
    bool m_counted = false;
    QString m_alteration;
    bool m_began = false;
    qint64 m_records = 0;
    qint64 m_usedBytes = 0;
    qint64 m_indexBytes = 0;
    qint64 m_neededBytes = 0;
    QElapsedTimer m_took;
    QElapsedTimer m_told;
};

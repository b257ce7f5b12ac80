#pragma once

#include <QElapsedTimer>
#include <QString>

class QSqlDatabase;
class QSqlError;

// The table of records, made when missing and brought to the present shape from that of a store an earlier version
// made, in the transaction of the look at the tables (StoreSchema): a table made anew, with each record's size
// beside it before its values, the records moved into it, the old table dropped, and the triggers that keep the sizes
// right made (WireSizeSql); a table with sizes but without the triggers gets its sizes counted again. What a
// process of an earlier version writes meanwhile is never lost: on SQLite that transaction holds the store's
// writing, and on PostgreSQL the upgrade locks the old table against every reader and writer before it reads it, so
// that their statements wait for the upgrade, or fail where they wait no longer, and then find the new table.
class RecordsUpgrade
{
public:
    explicit RecordsUpgrade(QSqlDatabase& db);

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
    bool lockAndCount(QSqlError& failure);
    // Whether the disk has the room that moving the records needs: said to the operator, or in `error` when not.
    bool hasRoom(QString& error);
    // Tells the operator of the work, which has begun.
    void announce(const QString& work);
    bool copySqlite(const QString& columns, QSqlError& failure);
    bool moveSqlite(const QString& columns, QSqlError& failure);
    bool copyPostgresql(const QString& columns, QSqlError& failure);

    QSqlDatabase& m_db;
    bool m_sqlite;
    bool m_began = false;
    qint64 m_records = 0;
    qint64 m_usedBytes = 0;
    qint64 m_neededBytes = 0;
    QElapsedTimer m_took;
};

#include "recordsupgrade.h"

#include "servicelog.h"
#include "storequery.h"
#include "wiresizesql.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStorageInfo>
#include <QStringList>

namespace {
// The table of records, under the name given. A record's values come last, after everything the service reads
// without them (its stamp, its number, its size): SQLite reads a row's columns in order, and reaches a column after a
// large value only through that value's overflow pages. Its size is what the record takes in an answer
// (StoredRecord::wireSize()), kept right by the store's triggers (WireSizeSql).
const char* const recordsTable =
    "create table if not exists %1 (user_id text not null, table_name text not null, id text not null, "
    "version text not null, deleted integer not null, seq bigint not null default 0, "
    "wire_size bigint not null default 0, data text not null, primary key (user_id, table_name, id))";

// Records moved at once on SQLite: the pages of those moved are freed before the next are written, so that the new
// table takes the old one's room instead of as much again.
const int recordsPerMove = 2000;
// SQLite's page cache while it moves them, in KB: the old table's index, whose entries go in the order of the
// table's rows rather than its own, is read again and again from the disk with less.
const int moveCacheKb = 64 * 1024;

const qint64 megabyte = 1024 * 1024;

// The most an upgrade on SQLite adds to the disk's use beside the store: the records' pages written anew go to the
// write-ahead log before they take the old ones' place in the file, and the file grows by what the pages freed last
// cannot yet hold.
qint64 sqliteRoomNeeded(qint64 usedBytes)
{
    return usedBytes + usedBytes / 4 + 16 * megabyte;
}

QString megabytes(qint64 bytes)
{
    return QString::number((bytes + megabyte - 1) / megabyte);
}
} // namespace

RecordsUpgrade::RecordsUpgrade(QSqlDatabase& db) : m_db(db), m_sqlite(db.driverName() == "QSQLITE") {}

bool RecordsUpgrade::createOrUpgrade(QSqlError& failure, QString& error)
{
    QSqlQuery made(m_db);
    if (!StoreQuery::exec(m_db, QString(recordsTable).arg("records"), failure))
        return false;
    if (!made.exec(WireSizeSql::triggersMade(m_sqlite)) || !made.next())
        return StoreQuery::failedWith(made, failure);
    const bool triggered = made.value(0).toBool();
    made.finish();
    // Stores of an earlier version have no size, or one that their service wrote where its own process wrote the
    // record: 0 where a process of a still earlier version did.
    const bool sized = m_db.record("records").contains("wire_size");
    if (sized && triggered)
        return true;
    if (!lockAndCount(failure))
        return false;
    if (sized) {
        announce(
            QString("counting the sizes of the store's %1 records again; its syncs wait meanwhile").arg(m_records));
        const QString counted = WireSizeSql::expression(m_sqlite);
        if (!StoreQuery::exec(m_db, "update records set wire_size = " + counted + " where wire_size <> " + counted,
                              failure))
            return false;
    } else {
        // Stores made before the change log lack its number: their records count as older than the log.
        const QString columns =
            QString("user_id, table_name, id, version, deleted, %1, %2, data")
                .arg(m_db.record("records").contains("seq") ? "seq" : "0", WireSizeSql::expression(m_sqlite));
        if (!hasRoom(error) || !StoreQuery::exec(m_db, QString(recordsTable).arg("records_shaped"), failure) ||
            !(m_sqlite ? copySqlite(columns, failure) : copyPostgresql(columns, failure)) ||
            !StoreQuery::exec(m_db, "drop table records", failure) ||
            !StoreQuery::exec(m_db, "alter table records_shaped rename to records", failure))
            return false;
    }
    for (const QString& statement : WireSizeSql::triggers(m_sqlite)) {
        if (!StoreQuery::exec(m_db, statement, failure))
            return false;
    }
    return true;
}

bool RecordsUpgrade::lockAndCount(QSqlError& failure)
{
    // On PostgreSQL the table is locked before it is counted: whatever was written before is moved, and nothing after.
    QSqlQuery query(m_db);
    const bool counted =
        (m_sqlite || StoreQuery::exec(m_db, "lock table records in access exclusive mode", failure)) &&
        query.exec(m_sqlite ? "select count(*), (select (page_count - freelist_count) * page_size from "
                              "pragma_page_count, pragma_freelist_count, pragma_page_size) from records"
                            : "select count(*), pg_total_relation_size('records') from records") &&
        query.next();
    if (!counted) {
        if (query.lastError().isValid())
            failure = query.lastError();
        return false;
    }
    m_records = query.value(0).toLongLong();
    m_usedBytes = query.value(1).toLongLong();
    return true;
}

bool RecordsUpgrade::hasRoom(QString& error)
{
    QString where = "on the database server's disk";
    if (m_sqlite) {
        m_neededBytes = sqliteRoomNeeded(m_usedBytes);
        const QStorageInfo disk(QFileInfo(m_db.databaseName()).absolutePath());
        where = QString("on its disk, where %1 MB are").arg(megabytes(disk.bytesAvailable()));
        if (disk.bytesAvailable() < m_neededBytes) {
            error = QString("bringing its %1 records to their present shape needs about %2 MB free %3: the store is "
                            "unchanged")
                        .arg(m_records)
                        .arg(megabytes(m_neededBytes), where);
            return false;
        }
    } else {
        // The old table's files go only once the new one is committed.
        m_neededBytes = m_usedBytes;
    }
    announce(QString("bringing the store's %1 records to their present shape, which needs about %2 MB free %3; its "
                     "syncs wait meanwhile")
                 .arg(m_records)
                 .arg(megabytes(m_neededBytes), where));
    return true;
}

void RecordsUpgrade::announce(const QString& work)
{
    // A store made new has nothing to tell of.
    if (m_records > 0)
        qCInfo(lcService).noquote() << work;
    m_began = true;
    m_took.start();
}

bool RecordsUpgrade::copySqlite(const QString& columns, QSqlError& failure)
{
    // The old table's own indexes go first: their pages take the first of the new records.
    QSqlQuery indexes(m_db);
    if (!indexes.exec("select name from sqlite_schema where type = 'index' and tbl_name = 'records' and sql is not "
                      "null"))
        return StoreQuery::failedWith(indexes, failure);
    QStringList names;
    while (indexes.next())
        names << indexes.value(0).toString();
    for (const QString& name : names) {
        if (!StoreQuery::exec(m_db, "drop index \"" + QString(name).replace('"', "\"\"") + '"', failure))
            return false;
    }
    QSqlQuery cache(m_db);
    if (!cache.exec("pragma cache_size") || !cache.next())
        return StoreQuery::failedWith(cache, failure);
    const QString cacheSize = "pragma cache_size = %1";
    const QString kept = cacheSize.arg(cache.value(0).toLongLong());
    if (!StoreQuery::exec(m_db, cacheSize.arg(-moveCacheKb), failure))
        return false;
    const bool moved = moveSqlite(columns, failure);
    return StoreQuery::exec(m_db, kept, failure) && moved;
}

bool RecordsUpgrade::moveSqlite(const QString& columns, QSqlError& failure)
{
    QSqlQuery last(m_db);
    QSqlQuery move(m_db);
    QSqlQuery remove(m_db);
    if (!last.prepare(
            QString("select max(rowid) from (select rowid from records order by rowid limit %1)").arg(recordsPerMove)))
        return StoreQuery::failedWith(last, failure);
    if (!move.prepare(
            "insert into records_shaped (user_id, table_name, id, version, deleted, seq, wire_size, data) select " +
            columns + " from records where rowid <= ?"))
        return StoreQuery::failedWith(move, failure);
    if (!remove.prepare("delete from records where rowid <= ?"))
        return StoreQuery::failedWith(remove, failure);
    for (;;) {
        if (!last.exec() || !last.next())
            return StoreQuery::failedWith(last, failure);
        const QVariant upTo = last.value(0);
        last.finish();
        if (upTo.isNull())
            return true;
        move.bindValue(0, upTo);
        remove.bindValue(0, upTo);
        if (!move.exec())
            return StoreQuery::failedWith(move, failure);
        if (!remove.exec())
            return StoreQuery::failedWith(remove, failure);
    }
}

bool RecordsUpgrade::copyPostgresql(const QString& columns, QSqlError& failure)
{
    return StoreQuery::exec(
        m_db,
        "insert into records_shaped (user_id, table_name, id, version, deleted, seq, wire_size, data) "
        "select " +
            columns + " from records",
        failure);
}

QString RecordsUpgrade::failureText(const QSqlError& failure) const
{
    if (m_began && StoreQuery::diskFull(failure))
        return QString("its disk filled up while its %1 records were brought to their present shape, which needs "
                       "about %2 MB free: the store is unchanged")
            .arg(m_records)
            .arg(megabytes(m_neededBytes));
    return (m_began ? "bringing its records to their present shape: " : "making its tables: ") +
           StoreQuery::described(failure);
}

void RecordsUpgrade::end(bool committed)
{
    if (!m_began)
        return;
    if (m_sqlite) {
        QSqlQuery checkpoint(m_db);
        checkpoint.exec("pragma wal_checkpoint(truncate)");
    }
    if (committed && m_records > 0)
        qCInfo(lcService).noquote() << QString("the store's %1 records are in their present shape, after %2 s")
                                           .arg(m_records)
                                           .arg(double(m_took.elapsed()) / 1000, 0, 'f', 1);
}

#include "recordsupgrade.h"

#include "recordranges.h"
#include "servicelog.h"
#include "storequery.h"
#include "textcollation.h"
#include "wiresizesql.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStorageInfo>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace {
// The table of records, under the name given. A record's values come last, after everything the service reads
// without them (its stamp, its number, its size): SQLite reads a row's columns in order, and reaches a column after a
// large value only through that value's overflow pages. Its size is what the record takes in an answer
// (StoredRecord::wireSize()), kept right by the store's triggers (WireSizeSql). Its texts compare as bytes
// (TextCollation).
const char* const recordsTable =
    "create table if not exists %1 (user_id text not null, table_name text not null, id text not null, "
    "version text not null, deleted integer not null, seq bigint not null default 0, "
    "wire_size bigint not null default 0, data text not null, primary key (user_id, table_name, id))";

// The records a statement of the upgrade takes at once, and the bytes they take at most (one record at least): on
// SQLite the pages of those moved are freed before the next are written, so that the new table takes the old one's
// room instead of as much again.
const qint64 recordsPerRange = 2000;
const qint64 bytesPerRange = 1024 * 1024;
// SQLite's page cache while it moves them, in KB: the old table's index, whose entries go in the order of the
// table's rows rather than its own, is read again and again from the disk with less.
const int moveCacheKb = 64 * 1024;
// How often an upgrade tells how far it has come, in ms.
const qint64 progressEvery = 10000;

const qint64 megabyte = 1024 * 1024;

// The most an upgrade on SQLite adds to the disk's use beside the store. Every page of the records, and of the index
// that holds their sizes, is written anew into the write-ahead log, once, before it takes the old one's place in the
// file; records moved into a table made anew take the pages freed by those moved before, and the file grows by what
// the pages freed last cannot yet hold and by the new index.
qint64 sqliteRoomNeeded(qint64 usedBytes, bool moved)
{
    return usedBytes + (moved ? usedBytes / 4 : 0) + 16 * megabyte;
}

QString megabytes(qint64 bytes)
{
    return QString::number((bytes + megabyte - 1) / megabyte);
}
} // namespace

RecordsUpgrade::RecordsUpgrade(QSqlDatabase& db, StoreStatement::Maker statements)
    : m_db(db), m_statements(std::move(statements)), m_sqlite(db.driverName() == "QSQLITE")
{
}

bool RecordsUpgrade::createOrUpgrade(QSqlError& failure, QString& error)
{
    if (!StoreQuery::exec(m_db, table("records"), failure))
        return false;
    // Triggers of an earlier version count some records otherwise: those with U+0000 in their ids, on SQLite.
    const std::unique_ptr<StoreStatement> made = m_statements();
    if (!StoreQuery::start(*made, WireSizeSql::triggersMade(m_sqlite),
                           {WireSizeSql::expression(m_sqlite, "new.").toUtf8()}, failure))
        return false;
    const bool triggered = made->next() && made->number(0) == 1;
    if (!made->finish())
        return StoreQuery::failedWith(*made, failure);
    // Stores of an earlier version have no size, or one that their service wrote where its own process wrote the
    // record: 0 where a process of a still earlier version did, and one that left out the escapes of an id or a
    // stamp where its upgrade counted it, or that its triggers counted otherwise. Their texts may compare in the
    // database's collation: a table made anew declares them as this version does.
    const bool sized = m_db.record("records").contains("wire_size");
    if (!TextCollation::alteration(m_statements, m_sqlite, "records", m_alteration, failure))
        return false;
    if (sized && triggered && m_alteration.isEmpty())
        return true;
    m_moved = !sized;
    m_counted = sized && !triggered;
    if (m_moved)
        m_alteration.clear();
    if (!lockAndCount(failure) || !begin(error))
        return false;
    // The triggers go first: PostgreSQL alters no column they name, and an earlier version's would count the sizes
    // counted again their own way.
    const auto execAll = [this, &failure](const QStringList& statements) {
        return std::all_of(statements.cbegin(), statements.cend(), [this, &failure](const QString& statement) {
            return StoreQuery::exec(m_db, statement, failure);
        });
    };
    return execAll(WireSizeSql::withoutTriggers(m_sqlite)) &&
           (m_moved ? move(failure) : !m_counted || countAgain(failure)) &&
           (m_alteration.isEmpty() || StoreQuery::exec(m_db, m_alteration, failure)) &&
           execAll(WireSizeSql::triggers(m_sqlite));
}

QString RecordsUpgrade::table(const QString& name) const
{
    return TextCollation::declared(QString(recordsTable).arg(name), m_sqlite);
}

bool RecordsUpgrade::lockAndCount(QSqlError& failure)
{
    // On PostgreSQL the table is locked before it is counted: whatever was written before is moved, and nothing after.
    QSqlQuery query(m_db);
    const bool counted =
        (m_sqlite || StoreQuery::exec(m_db, "lock table records in access exclusive mode", failure)) &&
        query.exec(m_sqlite ? "select count(*), (select (page_count - freelist_count) * page_size from "
                              "pragma_page_count, pragma_freelist_count, pragma_page_size), 0 from records"
                            : "select count(*), pg_total_relation_size('records'), pg_indexes_size('records') from "
                              "records") &&
        query.next();
    if (!counted) {
        if (query.lastError().isValid())
            failure = query.lastError();
        return false;
    }
    m_records = query.value(0).toLongLong();
    m_usedBytes = query.value(1).toLongLong();
    m_indexBytes = query.value(2).toLongLong();
    return true;
}

bool RecordsUpgrade::begin(QString& error)
{
    // A store made new has nothing to move or count.
    if (m_records == 0)
        return true;
    const QString records = QString::number(m_records) + " records";
    // On PostgreSQL the old table's files go only once the new one is committed, a record whose size is counted
    // again is written anew beside the old one, and the indexes of texts altered are made anew beside the old ones.
    m_neededBytes = (m_moved || m_counted ? m_usedBytes : 0) + (m_alteration.isEmpty() ? 0 : m_indexBytes);
    QString where = "on the database server's disk";
    if (m_sqlite) {
        m_neededBytes = sqliteRoomNeeded(m_usedBytes, m_moved);
        const QStorageInfo disk(QFileInfo(m_db.databaseName()).absolutePath());
        where = QString("on its disk, where %1 MB are").arg(megabytes(disk.bytesAvailable()));
        if (disk.bytesAvailable() < m_neededBytes) {
            error = QString("%1 needs about %2 MB free %3: the store is unchanged")
                        .arg(work("its " + records), megabytes(m_neededBytes), where);
            return false;
        }
    }
    qCInfo(lcService).noquote() << QString("%1, which needs about %2 MB free %3; its syncs wait meanwhile")
                                       .arg(work("the store's " + records), megabytes(m_neededBytes), where);
    m_began = true;
    m_took.start();
    m_told.start();
    return true;
}

QString RecordsUpgrade::work(const QString& records) const
{
    if (m_moved)
        return QString("bringing %1 to their present shape").arg(records);
    if (!m_counted)
        return QString("making the keys of %1 compare as bytes").arg(records);
    return QString("counting the sizes of %1 again").arg(records) +
           (m_alteration.isEmpty() ? QString() : " and making their keys compare as bytes");
}

bool RecordsUpgrade::countAgain(QSqlError& failure)
{
    const QString counted = WireSizeSql::expression(m_sqlite);
    return inRanges(
        [&counted](const QString&, const QString& range) {
            return QStringList{"update records set wire_size = " + counted + " where " + range + " and wire_size <> " +
                               counted};
        },
        failure);
}

bool RecordsUpgrade::move(QSqlError& failure)
{
    // Stores made before the change log lack its number: their records count as older than the log.
    const QString insert =
        QString("insert into records_shaped (user_id, table_name, id, version, deleted, seq, "
                "wire_size, data) select user_id, table_name, id, version, deleted, %1, %2, data "
                "from records ")
            .arg(m_db.record("records").contains("seq") ? "seq" : "0", WireSizeSql::expression(m_sqlite));
    if (!StoreQuery::exec(m_db, table("records_shaped"), failure))
        return false;
    const bool moved =
        m_sqlite
            ? moveSqlite(insert, failure)
            : inRanges([&insert](const QString& rows, const QString&) { return QStringList{insert + rows}; }, failure);
    return moved && StoreQuery::exec(m_db, "drop table records", failure) &&
           StoreQuery::exec(m_db, "alter table records_shaped rename to records", failure);
}

bool RecordsUpgrade::moveSqlite(const QString& insert, QSqlError& failure)
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
    const bool moved = inRanges(
        [&insert](const QString& rows, const QString& range) {
            return QStringList{insert + rows, "delete from records where " + range};
        },
        failure);
    return StoreQuery::exec(m_db, kept, failure) && moved;
}

bool RecordsUpgrade::inRanges(const std::function<QStringList(const QString&, const QString&)>& statements,
                              QSqlError& failure)
{
    const qint64 perRange =
        std::clamp(bytesPerRange * m_records / std::max<qint64>(m_usedBytes, 1), qint64(1), recordsPerRange);
    return RecordRanges(m_sqlite, m_statements, perRange)
        .forEach(
            statements, [this](qint64 done) { tell(done); }, failure);
}

void RecordsUpgrade::tell(qint64 done)
{
    if (m_told.elapsed() < progressEvery)
        return;
    m_told.restart();
    qCInfo(lcService).noquote() << QString("%1: %2 done, after %3 s")
                                       .arg(work(QString("the store's %1 records").arg(m_records)))
                                       .arg(std::min(done, m_records))
                                       .arg(double(m_took.elapsed()) / 1000, 0, 'f', 1);
}

QString RecordsUpgrade::failureText(const QSqlError& failure) const
{
    if (m_began && StoreQuery::diskFull(failure))
        return QString("its disk filled up while %1, which needs about %2 MB free: the store is unchanged")
            .arg(work(QString("its %1 records").arg(m_records)), megabytes(m_neededBytes));
    return (m_began ? work("its records") : "making its tables") + ": " + StoreQuery::described(failure);
}

void RecordsUpgrade::end(bool committed)
{
    if (!m_began)
        return;
    if (m_sqlite) {
        QSqlQuery checkpoint(m_db);
        checkpoint.exec("pragma wal_checkpoint(truncate)");
    }
    if (committed)
        qCInfo(lcService).noquote() << QString("the store's %1 records are in their present shape, after %2 s")
                                           .arg(m_records)
                                           .arg(double(m_took.elapsed()) / 1000, 0, 'f', 1);
}

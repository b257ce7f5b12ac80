#include "storeschema.h"

#include "recordsupgrade.h"
#include "servicelog.h"
#include "storeaddress.h"
#include "storequery.h"
#include "textcollation.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>

#include <sqlite3.h>

namespace {
const char* const schema[] = {
    "create table if not exists accounts (name text primary key, user_id text not null unique, salt text not null, "
    "iterations integer not null, hash text not null)",
    "create table if not exists syncs (user_id text not null, seq bigint not null, applied bigint not null, "
    "client_time text not null, primary key (user_id, seq))",
    "create table if not exists feedback (received text not null, address text not null, email text not null, "
    "subject text not null, content text not null, size bigint not null default 0)",
    "create table if not exists signups (received text not null, address text not null)",
};

const char* const indexes[] = {
    // A device's changes are read by number, in pages that follow this index, and a reading bounded in records and
    // bytes finds whether it keeps within its bound from this index alone.
    "drop index if exists records_by_change",
    "create index if not exists records_by_change_size on records (user_id, seq, table_name, id, wire_size)",
    "create index if not exists syncs_by_applied on syncs (user_id, applied)",
    "create index if not exists syncs_by_client_time on syncs (user_id, client_time)",
    // Feedback and sign-ups are counted over the last hour at every post.
    "create index if not exists feedback_received on feedback (received)",
    "create index if not exists signups_received on signups (received)",
};

// The lock of the service's own that a process of this version holds on PostgreSQL while it looks at the tables:
// "QUILLBAY" in ASCII, a key no other user of the database is likely to take.
const qint64 schemaLock = 0x5155494C4C424159;

// Begins the transaction, once no other process of this version looks at the tables: on SQLite by taking the
// store's writing at once, which every writer waits for meanwhile; on PostgreSQL by taking the lock of the service's
// own, which the others' writing does not wait for. The operator hears once that it waits.
bool begin(QSqlDatabase& db, QSqlError& failure)
{
    QSqlQuery query(db);
    const bool sqlite = db.driverName() == "QSQLITE";
    if (!sqlite) {
        if (!query.exec("begin") || !query.exec(QString("select pg_try_advisory_xact_lock(%1)").arg(schemaLock)) ||
            !query.next())
            return StoreQuery::failedWith(query, failure);
        if (query.value(0).toBool())
            return true;
        qCInfo(lcService) << "waiting for another service process to finish its look at the store's tables";
        return StoreQuery::exec(db, QString("select pg_advisory_xact_lock(%1)").arg(schemaLock), failure);
    }
    // The first try tells at once whether another holds the store's writing; the next ones wait as long as a
    // statement waits for it, again and again: the writer ahead may be another process bringing a large store to its
    // present shape.
    const QString wait = "pragma busy_timeout = %1";
    const QString longWait = wait.arg(StoreAddress::sqliteWriterWait.count());
    bool begun = query.exec(wait.arg(0));
    // A write-ahead log left by a process that ended in the middle of its writing, tens of MB of a killed upgrade,
    // takes room on the disk that an upgrade's look at its room would count as used, though the upgrade writes over
    // it: it is given back first, unless another process is reading or writing the store.
    begun = begun && query.exec("pragma wal_checkpoint(truncate)");
    for (bool told = false; begun; told = true) {
        if (query.exec("begin immediate"))
            break;
        begun = query.lastError().nativeErrorCode() == QString::number(SQLITE_BUSY) && query.exec(longWait);
        if (begun && !told)
            qCInfo(lcService) << "waiting for another process to let go of the store's writing";
    }
    return (begun && query.exec(longWait)) || StoreQuery::failedWith(query, failure);
}
// Whether the store keeps each text as a device sent it: an SQLite store does, and so does a PostgreSQL database in
// UTF8, or in SQL_ASCII, which keeps the client's bytes as they are. One in any other encoding converts each text into
// its own, refusing those it cannot hold, and would count the bytes it holds, not those that go on the wire. When
// not, `error` says why.
bool keepsTextsAsSent(const QSqlDatabase& db, QString& error)
{
    if (db.driverName() == "QSQLITE")
        return true;
    QSqlQuery query(db);
    if (!query.exec("show server_encoding") || !query.next()) {
        error = "looking at its database's encoding: " + StoreQuery::described(query.lastError());
        return false;
    }
    const QString encoding = query.value(0).toString();
    if (encoding == "UTF8" || encoding == "SQL_ASCII")
        return true;
    error = QString("its database keeps texts in %1, which holds neither every text a device sends nor its size as it "
                    "goes on the wire: the service needs a database made with encoding 'UTF8' (createdb -E UTF8 -T "
                    "template0 %2); nothing was changed")
                .arg(encoding, db.databaseName());
    return false;
}
} // namespace

bool StoreSchema::create(QSqlDatabase& db, QString& error, const StoreStatement::Maker& statements)
{
    if (!keepsTextsAsSent(db, error))
        return false;
    QSqlError failure;
    if (!begin(db, failure)) {
        error = "beginning its look at its tables: " + StoreQuery::described(failure);
        return false;
    }
    RecordsUpgrade upgrade(db, statements);
    const auto exec = [&db, &failure](const QString& statement) { return StoreQuery::exec(db, statement, failure); };
    const bool sqlite = db.driverName() == "QSQLITE";
    const auto make = [&exec, sqlite](const QString& statement) {
        return exec(TextCollation::declared(statement, sqlite));
    };
    // The other tables of a store made before their texts compared as bytes, which are small, are altered in the same
    // transaction as the records, and before them: a sync holds its account's row before it writes records, and an
    // upgrade that held the records while it waited for the accounts would wait for such a sync while the sync waited
    // for it.
    bool created = true;
    for (const char* table : {"accounts", "syncs", "feedback", "signups"}) {
        QString alteration;
        created = created && TextCollation::alteration(statements, sqlite, table, alteration, failure) &&
                  (alteration.isEmpty() || exec(alteration));
    }
    created = created && upgrade.createOrUpgrade(failure, error);
    for (const char* statement : schema)
        created = created && make(statement);
    // Stores made before feedback was limited by address lack its column.
    if (created && !db.record("feedback").contains("address"))
        created = make("alter table feedback add column address text not null default ''");
    // Feedback kept before its size was limited is counted by its characters.
    if (created && !db.record("feedback").contains("size"))
        created = exec("alter table feedback add column size bigint not null default 0") &&
                  exec("update feedback set size = length(email) + length(subject) + length(content)");
    for (const char* statement : indexes)
        created = created && exec(statement);
    // Committed by a statement of its own, whose failure keeps its code: a full disk of a store small enough for the
    // upgrade's page cache is met only here.
    created = created && exec("commit");
    if (!created) {
        db.rollback();
        if (error.isEmpty())
            error = upgrade.failureText(failure);
    }
    upgrade.end(created);
    return created;
}

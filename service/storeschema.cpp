#include "storeschema.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QThread>

namespace {
// The table of records, under the name given. A record's values come last, after everything the service reads
// without them (its stamp, its number, its size): SQLite reads a row's columns in order, and reaches a column after a
// large value only through that value's overflow pages. Its size is what the record takes in an answer
// (StoredRecord::wireSize()), written with it, so that what a reading will take is known before it reads the values;
// a process of an earlier version writing to the same store leaves it 0.
const char* const recordsTable =
    "create table if not exists %1 (user_id text not null, table_name text not null, id text not null, "
    "version text not null, deleted integer not null, seq bigint not null default 0, "
    "wire_size bigint not null default 0, data text not null, primary key (user_id, table_name, id))";

const char* const schema[] = {
    "create table if not exists accounts (name text primary key, user_id text not null unique, salt text not null, "
    "iterations integer not null, hash text not null)",
    "create table if not exists syncs (user_id text not null, seq bigint not null, applied bigint not null, "
    "client_time text not null, primary key (user_id, seq))",
    "create table if not exists feedback (received text not null, address text not null, email text not null, "
    "subject text not null, content text not null, size bigint not null default 0)",
    "create table if not exists signups (received text not null, address text not null)",
};

// Stores made before the change log get its column in their records (every record then counts as older than the
// log) before the indexes on it are made.
const char* const addChangeColumn = "alter table records add column seq bigint not null default 0";

// Stores made before the records' sizes were kept get their records in a table made anew, their values after their
// sizes, and each size counted from the texts' bytes and the quotes around id and stamp: what the service writes for
// them but for escapes in an id or a stamp, which the program never makes. The old table goes with its indexes.
bool addWireSize(QSqlDatabase& db)
{
    const QString bytes = db.driverName() == "QSQLITE" ? "length(cast(%1 as blob))" : "octet_length(%1)";
    QSqlQuery query(db);
    return query.exec(QString(recordsTable).arg("records_sized")) &&
           query.exec("insert into records_sized (user_id, table_name, id, version, deleted, seq, wire_size, data) "
                      "select user_id, table_name, id, version, deleted, seq, " +
                      bytes.arg("id") + " + " + bytes.arg("version") + " + " + bytes.arg("data") +
                      " + 4, data from records") &&
           query.exec("drop table records") && query.exec("alter table records_sized rename to records");
}

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
} // namespace

bool StoreSchema::create(QSqlDatabase& db)
{
    // Processes started together on one database may race to create a table; the loser's next try finds it.
    for (int attempt = 1;; ++attempt) {
        bool created = db.transaction() && QSqlQuery(db).exec(QString(recordsTable).arg("records"));
        for (const char* statement : schema) {
            QSqlQuery query(db);
            created = created && query.exec(statement);
        }
        // Stores made before feedback was limited by address lack its column.
        if (created && !db.record("feedback").contains("address")) {
            QSqlQuery query(db);
            created = query.exec("alter table feedback add column address text not null default ''");
        }
        // Feedback kept before its size was limited is counted by its characters.
        if (created && !db.record("feedback").contains("size")) {
            QSqlQuery query(db);
            created = query.exec("alter table feedback add column size bigint not null default 0") &&
                      query.exec("update feedback set size = length(email) + length(subject) + length(content)");
        }
        if (created && !db.record("records").contains("seq")) {
            QSqlQuery query(db);
            created = query.exec(addChangeColumn);
        }
        if (created && !db.record("records").contains("wire_size"))
            created = addWireSize(db);
        for (const char* statement : indexes) {
            QSqlQuery query(db);
            created = created && query.exec(statement);
        }
        if (created && db.commit())
            return true;
        db.rollback();
        if (attempt == 3)
            return false;
        QThread::msleep(200);
    }
}

#include "storeschema.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

namespace {
const char* const schema[] = {
    "create table if not exists accounts (name text primary key, user_id text not null unique, salt text not null, "
    "iterations integer not null, hash text not null)",
    "create table if not exists records (user_id text not null, table_name text not null, id text not null, "
    "version text not null, deleted integer not null, data text not null, seq bigint not null default 0, "
    "primary key (user_id, table_name, id))",
    "create table if not exists syncs (user_id text not null, seq bigint not null, applied bigint not null, "
    "client_time text not null, primary key (user_id, seq))",
    "create table if not exists feedback (received text not null, address text not null, email text not null, "
    "subject text not null, content text not null, size bigint not null default 0)",
    "create table if not exists signups (received text not null, address text not null)",
};

// Stores made before the change log get its column in their records (every record then counts as older than the
// log) before the indexes on it are made.
const char* const addChangeColumn = "alter table records add column seq bigint not null default 0";

const char* const indexes[] = {
    // A device's changes are read by number, in pages that follow this index.
    "drop index if exists records_by_change",
    "create index if not exists records_by_change_key on records (user_id, seq, table_name, id)",
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
        bool created = db.transaction();
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

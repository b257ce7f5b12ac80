#include "data/pendingchanges.h"

#include "data/schemaaddition.h"

namespace {
const char* const journal = "tbl_sync_pending";
// The synced tables, named without "tbl_".
const char* const tables[] = {"bill", "account", "borrower", "category", "sub_category", "member"};

QList<SchemaAddition::Object> objects()
{
    QList<SchemaAddition::Object> list{
        {"table", journal,
         QString("CREATE TABLE IF NOT EXISTS %1 (seq INTEGER PRIMARY KEY, table_name TEXT NOT NULL, id TEXT "
                 "NOT NULL)")
             .arg(journal)}};
    // The update trigger's own write stamps the row, and is recorded as the edit; a sync's write keeps the
    // service's stamp. Inside one statement, triggers included, SQLite reads the clock once.
    const struct
    {
        const char* name;
        const char* event;
        const char* row;
        const char* condition;
    } kinds[] = {{"inserted", "AFTER INSERT", "new", " WHEN new.version = CURRENT_TIMESTAMP"},
                 {"updated", "AFTER UPDATE", "new", " WHEN new.version = CURRENT_TIMESTAMP"},
                 {"deleted", "AFTER DELETE", "old", ""}};
    for (const char* table : tables)
        for (const auto& kind : kinds) {
            const QString name = QString("%1_pending_%2").arg(table, kind.name);
            list.append({"trigger", name,
                         QString("CREATE TRIGGER IF NOT EXISTS [%1] %2 ON [tbl_%3] FOR EACH ROW%4 BEGIN INSERT "
                                 "INTO %5 (table_name, id) VALUES ('%3', %6.id); END")
                             .arg(name, kind.event, table, kind.condition, journal, kind.row)});
        }
    return list;
}
} // namespace

QStringList PendingChanges::statements()
{
    QStringList list;
    for (const SchemaAddition::Object& object : objects())
        list << object.statement;
    return list;
}

bool PendingChanges::addMissing(QSqlDatabase db)
{
    return SchemaAddition::addMissing(objects(), db);
}

QString PendingChanges::idsOfTable()
{
    return QString("select id from %1 where table_name = ?").arg(journal);
}

QString PendingChanges::latest()
{
    return QString("select coalesce(max(seq), 0) from %1").arg(journal);
}

QString PendingChanges::forget()
{
    return QString("delete from %1 where seq <= ? or seq > ?").arg(journal);
}

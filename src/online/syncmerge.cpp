#include "online/syncmerge.h"

#include "data/pendingchanges.h"
#include "online/syncsql.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {
// Values bound per statement that fills a temporary table: far fewer statements than rows, while binding stays cheap
// (it grows faster than the number of values in one statement).
const int valuesPerInsert = 600;

QString quotedList(const QStringList& columns, const QString& prefix = QString())
{
    QStringList quoted;
    for (const QString& column : columns)
        quoted << prefix + SyncSql::quoted(column);
    return quoted.join(',');
}

// Makes the temporary table afresh and fills it with the rows, several rows per statement. Its columns carry no
// type, so each value stays the text received until the book's own columns take it.
bool fill(const QString& name, const QStringList& columns, const QList<QStringList>& rows)
{
    QSqlQuery query;
    if (!SyncSql::exec(query, "drop table if exists temp." + name) ||
        !SyncSql::exec(query, "create temp table " + name + " (" + quotedList(columns) + ")"))
        return false;
    const qsizetype perStatement = qMax(1, valuesPerInsert / int(columns.size()));
    const QString row = "(" + QStringList(columns.size(), "?").join(',') + ")";
    qsizetype prepared = 0;
    for (qsizetype from = 0; from < rows.size(); from += perStatement) {
        const qsizetype count = qMin(perStatement, rows.size() - from);
        if (count != prepared &&
            !SyncSql::prepare(query, "insert into temp." + name + " values " + QStringList(count, row).join(',')))
            return false;
        prepared = count;
        int position = 0;
        for (qsizetype r = from; r < from + count; ++r)
            for (const QString& value : rows.at(r))
                query.bindValue(position++, value);
        if (!SyncSql::exec(query))
            return false;
    }
    return true;
}

// One row per id, the one with the latest stamp and the first of those on equal stamps: what applying the rows one
// after another would leave.
QList<QStringList> latestRows(const SyncAnswer::Entry& entry)
{
    QHash<QString, qsizetype> positions;
    QList<QStringList> rows;
    for (const QStringList& row : entry.rows) {
        const auto found = positions.constFind(row.at(entry.idColumn));
        if (found == positions.cend()) {
            positions.insert(row.at(entry.idColumn), rows.size());
            rows << row;
        } else if (rows.at(*found).at(entry.versionColumn) < row.at(entry.versionColumn)) {
            rows[*found] = row;
        }
    }
    return rows;
}

// One deletion per id, the latest.
QList<QStringList> latestDeletions(const SyncAnswer::Entry& entry)
{
    QHash<QString, QString> stamps;
    QStringList order;
    for (const auto& [id, stamp] : entry.deletions) {
        if (!stamps.contains(id))
            order << id;
        if (stamps.value(id) < stamp)
            stamps.insert(id, stamp);
    }
    QList<QStringList> deletions;
    for (const QString& id : order)
        deletions << QStringList{id, stamps.value(id), "0"};
    return deletions;
}

bool execAll(const QStringList& statements)
{
    QSqlQuery query;
    for (const QString& statement : statements)
        if (!SyncSql::exec(query, statement))
            return false;
    return true;
}
} // namespace

const QStringList& SyncMerge::repairedTables()
{
    static const QStringList tables{"account", "borrower", "category", "sub_category", "member"};
    return tables;
}

bool SyncMerge::apply(const QList<SyncAnswer::Entry>& entries, const QDateTime& startTime, qint64 pendingSent)
{
    // The temporary tables live and go within this call; kept in memory, they cost no file writes.
    QSqlQuery("pragma temp_store = memory");
    if (!SyncSql::begin())
        return false;
    QSqlQuery query;
    bool ok = SyncSql::exec(query, PendingChanges::latest()) && query.next();
    // Changes made while the sync was under way stay pending; what the merge writes is no change of this device's.
    const qint64 pendingBefore = ok ? query.value(0).toLongLong() : 0;
    query.finish();
    for (int i = 0; ok && i < entries.size(); ++i) {
        SyncMerge merge(entries.at(i));
        ok = merge.applyRows() && merge.applyDeletions();
    }
    ok = ok && SyncSql::exec(query, PendingChanges::forget(), {pendingSent, pendingBefore});
    // After the journal is cleared: records brought back are stamped now or later, and go up with the next sync.
    for (int i = 0; ok && i < repairedTables().size(); ++i)
        ok = restoreReferencedDeleted(repairedTables().at(i));
    if (ok) {
        ok = SyncSql::exec(query, "update tbl_setting set sync_time = ?",
                           {startTime.toUTC().toString("yyyy-MM-dd hh:mm:ss")});
    }
    if (ok)
        return SyncSql::commit();
    SyncSql::rollback();
    return false;
}

SyncMerge::SyncMerge(const SyncAnswer::Entry& entry)
    : m_entry(entry), m_table("tbl_" + entry.table), m_twin("tbl_" + entry.table + "_deleted")
{
}

bool SyncMerge::applyRows()
{
    if (m_entry.rows.isEmpty())
        return true;
    if (!fill("sync_rows", m_entry.columns, latestRows(m_entry)))
        return false;
    QStringList assignments;
    for (const QString& column : m_entry.columns)
        assignments << SyncSql::quoted(column) + "=s." + SyncSql::quoted(column);
    const QString id = "s." + SyncSql::quoted("id");
    const QString version = "s." + SyncSql::quoted("version");
    const QString absent = "not exists (select 1 from " + m_table + " t where t.id = " + id + ")";
    // A row the book holds takes every received column when its stamp is older, or equal with other values; the
    // update trigger leaves the received stamp, which differs. A row the book lacks comes in unless a newer deletion
    // keeps it out, and an equal or older deletion of it goes.
    QStringList statements;
    if (const QString tie = tieStatement(); !tie.isEmpty())
        statements << tie;
    statements << "update " + m_table + " set " + assignments.join(',') + " from temp.sync_rows s where " + id + " = " +
                      m_table + ".id and " + m_table + ".version < " + version
               << "delete from " + m_twin + " where id in (select " + id + " from temp.sync_rows s join " + m_twin +
                      " d on d.id = " + id + " where d.version <= " + version + " and " + absent + ")"
               << "insert into " + m_table + " (" + quotedList(m_entry.columns) + ") select " +
                      quotedList(m_entry.columns, "s.") + " from temp.sync_rows s where " + absent +
                      " and not exists (select 1 from " + m_twin + " d where d.id = " + id + ")"
               << "drop table temp.sync_rows";
    return execAll(statements);
}

QString SyncMerge::tieStatement() const
{
    // Two devices that changed a record in the same second give it one stamp, and the store keeps the row that
    // reached it first: a device that holds the other row takes the store's, or the two would differ for good. A
    // NULL is sent as the empty text, so the two count as the same value. The row is written again whole, stamp
    // included: replacing fires neither the update trigger, which would stamp it anew, nor the delete trigger.
    QStringList differs;
    for (const QString& column : m_entry.columns) {
        if (column == "id" || column == "version")
            continue;
        const QString local = "t." + SyncSql::quoted(column);
        const QString received = "s." + SyncSql::quoted(column);
        differs << "(" + local + " is not " + received + " and not (" + local + " is null and " + received + " = ''))";
    }
    if (differs.isEmpty())
        return QString();
    const QSqlRecord record = QSqlDatabase::database().record(m_table);
    QStringList columns;
    QStringList values;
    for (int i = 0; i < record.count(); ++i) {
        const QString column = SyncSql::quoted(record.fieldName(i));
        columns << column;
        values << (m_entry.columns.contains(record.fieldName(i)) ? "s." : "t.") + column;
    }
    return "insert or replace into " + m_table + " (" + columns.join(',') + ") select " + values.join(',') +
           " from temp.sync_rows s join " + m_table + " t on t.id = s." + SyncSql::quoted("id") +
           " where t.version = s." + SyncSql::quoted("version") + " and (" + differs.join(" or ") + ")";
}

bool SyncMerge::applyDeletions()
{
    if (m_entry.deletions.isEmpty())
        return true;
    if (!fill("sync_deletions", {"id", "version", "hit"}, latestDeletions(m_entry)))
        return false;
    const QString hits = "(select id from temp.sync_deletions where hit)";
    // A deletion takes out a row with an older stamp. The delete trigger files the row in the twin, whose key
    // refuses an older copy of the same id, and stamps it with the local time; the copy gets the service's stamp
    // instead, or it would look newer than an edit another device made after the deletion, and wipe that edit when
    // it goes up again.
    return execAll({
        "update temp.sync_deletions set hit = 1 where exists (select 1 from " + m_table +
            " t where t.id = sync_deletions.id and t.version < sync_deletions.version)",
        "delete from " + m_twin + " where id in " + hits,
        "delete from " + m_table + " where id in " + hits,
        "update " + m_twin + " set version = d.version from temp.sync_deletions d where d.hit and d.id = " + m_twin +
            ".id",
        "drop table temp.sync_deletions",
    });
}

bool SyncMerge::restoreReferencedDeleted(const QString& table)
{
    const QString data = "tbl_" + table;
    const QString twin = data + "_deleted";
    // A transfer names the account it enters as well as the one it leaves.
    const QString references = table == "account" ? "select account_id from tbl_bill union select to_account_id "
                                                    "from tbl_bill"
                                                  : "select " + table + "_id from tbl_bill";
    const QString now = QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd hh:mm:ss");
    const QString purge = "delete from " + twin + " where id in (select id from " + data + ")";
    // The service keeps whichever stamp is later: a record brought back with a stamp older than its deletion's, which
    // a clock running fast may have made, would be deleted again by every sync until this clock caught up.
    const QString afterDeletion = "coalesce(strftime('%Y-%m-%d %H:%M:%S', d.version, '+1 second'), '')";
    QSqlQuery query;
    // Twins of live records go first, so that every twin left beside a live record is one just brought back.
    return execAll({purge, "insert into " + data + " select * from " + twin + " where +id in (" + references + ")"}) &&
           SyncSql::exec(query,
                         "update " + data + " set version = max(?, " + afterDeletion + ") from " + twin +
                             " d where d.id = " + data + ".id",
                         {now}) &&
           execAll({purge});
}

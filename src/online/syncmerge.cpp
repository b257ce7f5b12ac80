#include "online/syncmerge.h"

#include "online/syncsql.h"

const QStringList& SyncMerge::repairedTables()
{
    static const QStringList tables{"account", "borrower", "category", "sub_category", "member"};
    return tables;
}

bool SyncMerge::apply(const QList<SyncAnswer::Entry>& entries, const QDateTime& startTime)
{
    if (!SyncSql::begin())
        return false;
    bool ok = true;
    for (int i = 0; ok && i < entries.size(); ++i) {
        SyncMerge merge(entries.at(i));
        ok = merge.prepare();
        for (int r = 0; ok && r < entries.at(i).rows.size(); ++r)
            ok = merge.applyRow(entries.at(i).rows.at(r));
        for (int d = 0; ok && d < entries.at(i).deletions.size(); ++d)
            ok = merge.applyDeletion(entries.at(i).deletions.at(d).first, entries.at(i).deletions.at(d).second);
    }
    for (int i = 0; ok && i < repairedTables().size(); ++i)
        ok = restoreReferencedDeleted(repairedTables().at(i));
    if (ok) {
        QSqlQuery query;
        ok = SyncSql::exec(query, "update tbl_setting set sync_time = ?",
                           {startTime.toUTC().toString("yyyy-MM-dd hh:mm:ss")});
    }
    if (ok)
        return SyncSql::commit();
    SyncSql::rollback();
    return false;
}

SyncMerge::SyncMerge(const SyncAnswer::Entry& entry) : m_entry(entry) {}

bool SyncMerge::prepare()
{
    const QString table = "tbl_" + m_entry.table;
    const QString twin = table + "_deleted";
    QStringList assignments;
    QStringList names;
    for (const QString& column : m_entry.columns) {
        assignments.append(SyncSql::quoted(column) + "=?");
        names.append(SyncSql::quoted(column));
    }
    const QString marks = QStringList(QList<QString>(names.size(), "?")).join(',');
    // An entry of deletions only has no columns to write.
    const bool rows = !m_entry.rows.isEmpty();
    return SyncSql::prepare(m_rowVersion, "select version from " + table + " where id=?") &&
           SyncSql::prepare(m_twinVersion, "select version from " + twin + " where id=?") &&
           (!rows || SyncSql::prepare(m_update, "update " + table + " set " + assignments.join(',') +
                                                    " where id=? and version<?")) &&
           (!rows ||
            SyncSql::prepare(m_insert, "insert into " + table + " (" + names.join(',') + ") values(" + marks + ")")) &&
           SyncSql::prepare(m_twinRemoval, "delete from " + twin + " where id=?") &&
           SyncSql::prepare(m_deletion, "delete from " + table + " where id=? and version<?") &&
           SyncSql::prepare(m_twinStamp, "update " + twin + " set version=? where id=?");
}

bool SyncMerge::applyRow(const QStringList& row)
{
    const QString id = row.at(m_entry.idColumn);
    const QString version = row.at(m_entry.versionColumn);
    QVariantList values(row.cbegin(), row.cend());

    QString local;
    if (!versionOf(m_rowVersion, id, local))
        return false;
    if (!local.isNull()) {
        if (!(local < version))
            return true;
        values << id << version;
        return SyncSql::run(m_update, values);
    }

    QString twin;
    if (!versionOf(m_twinVersion, id, twin))
        return false;
    if (!twin.isNull() && twin > version)
        return true;
    if (!SyncSql::run(m_insert, values))
        return false;
    return twin.isNull() || SyncSql::run(m_twinRemoval, {id});
}

bool SyncMerge::applyDeletion(const QString& id, const QString& stamp)
{
    QString local;
    if (!versionOf(m_rowVersion, id, local))
        return false;
    if (local.isNull() || !(local < stamp))
        return true;
    // The delete trigger files the row in the twin, whose key refuses an older copy of the same id. The copy
    // keeps the service's stamp: the local time of this merge would make the deletion look newer than an
    // edit another device made after it, and wipe that edit when it goes up again.
    return SyncSql::run(m_twinRemoval, {id}) && SyncSql::run(m_deletion, {id, stamp}) &&
           SyncSql::run(m_twinStamp, {stamp, id});
}

bool SyncMerge::versionOf(QSqlQuery& query, const QString& id, QString& version)
{
    version = QString();
    if (!SyncSql::run(query, {id}))
        return false;
    if (query.next()) {
        version = query.value(0).toString();
        if (version.isNull())
            version = QString("");
    }
    query.finish();
    return true;
}

bool SyncMerge::restoreReferencedDeleted(const QString& table)
{
    const QString data = "tbl_" + table;
    const QString twin = data + "_deleted";
    // A transfer names the account it enters as well as the one it leaves.
    const QString references = table == "account" ? "select account_id from tbl_bill union select to_account_id "
                                                    "from tbl_bill"
                                                  : "select " + table + "_id from tbl_bill";
    QSqlQuery query;
    if (!SyncSql::exec(query, "select id from " + twin + " where id in (" + references + ")"))
        return false;
    QStringList ids;
    while (query.next())
        ids.append(query.value(0).toString());
    query.finish();

    const QString now = QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd hh:mm:ss");
    for (const QString& id : ids) {
        if (!SyncSql::exec(query, "insert into " + data + " select * from " + twin + " where id=?", {id}) ||
            !SyncSql::exec(query, "update " + data + " set version=? where id=?", {now, id}) ||
            !SyncSql::exec(query, "delete from " + twin + " where id=?", {id}))
            return false;
    }
    return SyncSql::exec(query, "delete from " + twin + " where id in (select id from " + data + ")");
}

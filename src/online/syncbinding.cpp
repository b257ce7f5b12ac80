#include "online/syncbinding.h"

#include "data/bookindexes.h"
#include "data/dbsetting.h"
#include "online/syncsql.h"

#include <QSqlQuery>
#include <QStringList>

namespace {
// Every column of a bill that holds a reference to a default record. Bill ids are never two characters long, so
// they are not among them.
const QStringList billReferences{"account_id",  "to_account_id",   "borrower_id",
                                 "category_id", "sub_category_id", "member_id"};

// Every column of the master tables and their deletion twins that holds a default record's id or a reference to one.
QList<QPair<QString, QString>> masterColumns()
{
    QList<QPair<QString, QString>> columns;
    for (const QString& suffix : {QString(), QString("_deleted")}) {
        columns.append({"tbl_account" + suffix, "id"});
        columns.append({"tbl_borrower" + suffix, "id"});
        columns.append({"tbl_category" + suffix, "id"});
        columns.append({"tbl_sub_category" + suffix, "id"});
        columns.append({"tbl_sub_category" + suffix, "category_id"});
        columns.append({"tbl_member" + suffix, "id"});
    }
    return columns;
}
} // namespace

QString SyncBinding::prefixOf(const QString& userId)
{
    return userId.left(qMax(0, userId.length() - 2));
}

bool SyncBinding::bind(const QString& userId, const QDateTime& syncStart)
{
    DbSetting* setting = DbSetting::getInstance();
    const QString formerId = setting->getUserId();
    if (!SyncSql::begin())
        return false;
    setting->setUserId(userId);
    const bool written = prefixAll(prefixOf(userId), syncStart) && setting->save();
    if (!written)
        SyncSql::rollback();
    // A failed commit has rolled back already.
    if (written && SyncSql::commit())
        return true;
    setting->setUserId(formerId);
    return false;
}

bool SyncBinding::prefixAll(const QString& prefix, const QDateTime& syncStart)
{
    QSqlQuery query;
    // The records whose own id changes keep their stamps: every device gives its default records the same ids.
    for (const auto& [table, column] : masterColumns()) {
        const QString sql = QString("update %1 set %2=?||%2 where length(%2)==2").arg(table, SyncSql::quoted(column));
        if (!SyncSql::exec(query, sql, {prefix}))
            return false;
    }
    // A bill gets all its references in one write. One whose references change goes up with the sync that binds,
    // so that the other devices take them: its new stamp lies just before the start of that sync, which sends it,
    // so that the sync after it does not send every bill of the book again. Deleted bills keep their stamps.
    const QString stamp = syncStart.toUTC().addSecs(-1).toString("yyyy-MM-dd hh:mm:ss");
    for (const QString& table : {QString("tbl_bill"), QString("tbl_bill_deleted")}) {
        const bool live = table == "tbl_bill";
        QStringList assignments;
        QStringList conditions;
        QVariantList values;
        for (const QString& reference : billReferences) {
            const QString column = SyncSql::quoted(reference);
            assignments << QString("%1=case when length(%1)==2 then ?||%1 else %1 end").arg(column);
            conditions << QString("length(%1)==2").arg(column);
            values << prefix;
        }
        if (live) {
            assignments << "version=?";
            values << stamp;
        }
        const QString sql = "update " + table + " set " + assignments.join(',') + " where " + conditions.join(" or ");
        const auto update = [&] { return SyncSql::exec(query, sql, values); };
        // Most bills of a book name a default record, so the indexes over the references are made anew.
        if (!(live ? BookIndexes::rebuiltAround(billReferences, update) : update()))
            return false;
    }
    return true;
}

#include "online/syncbinding.h"

#include "data/dbsetting.h"
#include "online/syncsql.h"

#include <QSqlQuery>
#include <QStringList>

namespace {
// Every column that holds a default record's id or a reference to one, in the data tables and their twins.
// Bill ids are never two characters long, so they are not among them.
const QStringList billReferences{"account_id",  "to_account_id",   "borrower_id",
                                 "category_id", "sub_category_id", "member_id"};

QList<QPair<QString, QString>> prefixedColumns()
{
    QList<QPair<QString, QString>> columns;
    for (const QString& suffix : {QString(), QString("_deleted")}) {
        for (const QString& column : billReferences)
            columns.append({"tbl_bill" + suffix, column});
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
    const QString billStamp = syncStart.toUTC().addSecs(-1).toString("yyyy-MM-dd hh:mm:ss");
    const bool written = prefixAll(prefixOf(userId), billStamp) && setting->save();
    if (!written)
        SyncSql::rollback();
    // A failed commit has rolled back already.
    if (written && SyncSql::commit())
        return true;
    setting->setUserId(formerId);
    return false;
}

bool SyncBinding::prefixAll(const QString& prefix, const QString& billStamp)
{
    QSqlQuery query;
    // A bill whose reference changed gets a newer stamp, so that the upload that follows sends it and the other
    // devices take its new references; the stamp lies before the sync's start, so that the sync after it does not
    // send it again. A bill stamped later keeps its stamp, which the update trigger then renews. The records whose
    // own id changed keep their stamps, as do the deletion twins.
    for (const auto& [table, column] : prefixedColumns()) {
        const bool bill = table == "tbl_bill";
        const QString sql = QString("update %1 set %2=?||%2%3 where length(%2)==2")
                                .arg(table, SyncSql::quoted(column),
                                     bill ? ", version=case when version>=? then version else ? end" : "");
        if (!SyncSql::exec(query, sql, bill ? QVariantList{prefix, billStamp, billStamp} : QVariantList{prefix}))
            return false;
    }
    return true;
}

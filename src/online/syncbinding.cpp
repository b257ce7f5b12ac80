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

bool SyncBinding::bind(const QString& userId)
{
    DbSetting* setting = DbSetting::getInstance();
    const QString formerId = setting->getUserId();
    if (!SyncSql::begin())
        return false;
    setting->setUserId(userId);
    if (prefixAll(prefixOf(userId)) && setting->save() && SyncSql::commit())
        return true;
    SyncSql::rollback();
    setting->setUserId(formerId);
    return false;
}

bool SyncBinding::prefixAll(const QString& prefix)
{
    QSqlQuery query;
    // The update triggers restamp a bill whose reference changed, so the upload that follows sends it; the
    // records whose own id changed keep their stamps.
    for (const auto& [table, column] : prefixedColumns()) {
        const QString sql = QString("update %1 set %2=?||%2 where length(%2)==2").arg(table, SyncSql::quoted(column));
        if (!SyncSql::exec(query, sql, {prefix}))
            return false;
    }
    return true;
}

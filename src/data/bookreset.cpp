#include "data/bookreset.h"

#include "data/dbhelper.h"
#include "data/dbsetting.h"
#include "data/logcategories.h"
#include "data/maccount.h"
#include "data/mbill.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"
#include "data/recordsql.h"

#include <QSqlError>
#include <QSqlQuery>

bool BookReset::run()
{
    const bool done =
        RecordSql::allOrNothing([] { return emptyTables() && DBHelper::getInstance()->writeDefaultRecords(); });
    dropCaches();
    return done;
}

bool BookReset::emptyTables()
{
    QSqlQuery query;
    const auto exec = [&query](const QString& statement) {
        const bool ok = query.exec(statement);
        qCDebug(lcData) << ok << (ok ? QString() : query.lastError().text());
        return ok;
    };
    for (const QString table :
         {"tbl_account", "tbl_bill", "tbl_borrower", "tbl_category", "tbl_member", "tbl_sub_category"}) {
        // The delete trigger copies every row into the twin, and fails on an id the twin holds already: the twin
        // is emptied before the table and again after it.
        const QString twin = "delete from " + table + "_deleted";
        if (!exec(twin) || !exec("delete from " + table) || !exec(twin))
            return false;
    }
    return exec(QString("update tbl_setting set sync_time='%1';").arg(DbSetting::neverSynced));
}

void BookReset::dropCaches()
{
    MAccount::clearCache();
    MBorrower::clearCache();
    MCategory::clearCache();
    MMember::clearCache();
    MBill::dataChanged();
}

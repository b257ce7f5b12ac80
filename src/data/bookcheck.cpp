#include "data/bookcheck.h"

#include "data/constants.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

bool BookCheck::holdsSettings(const QSqlDatabase& db)
{
    return db.tables().contains("tbl_setting");
}

bool BookCheck::isWholeBook(const QSqlDatabase& db)
{
    QSqlQuery query(db);
    // A damaged file answers with one line per fault, or not at all.
    if (!query.exec("PRAGMA integrity_check") || !query.next() || query.value(0).toString() != "ok" || query.next())
        return false;
    const QStringList tables = db.tables();
    if (!tables.contains("tbl_setting") || !tables.contains("tbl_bill") || !tables.contains("tbl_account"))
        return false;
    if (!query.exec("select count(*), max(version) from tbl_setting") || !query.next())
        return false;
    return query.value(0).toInt() == 1 && query.value(1).toInt() <= Constants::getInstance()->getVersionCode();
}

#include "data/keddoconverter.h"

#include "data/constants.h"
#include "data/dbsetting.h"
#include "data/logcategories.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

bool KeddoConverter::isKeddo(const QStringList& tables)
{
    return (tables.contains("ked_accounts") || tables.contains("ked_catelogs")) && !tables.contains("tbl_setting");
}

bool KeddoConverter::convert(QSqlDatabase& initial, QSqlDatabase& keddo)
{
    // Several of these names are also trigger names of the book schema, which is created next.
    execAll(keddo,
            {"DROP TRIGGER account_deleted", "DROP TRIGGER account_updated", "DROP TRIGGER bill_deleted",
             "DROP TRIGGER bill_updated", "DROP TRIGGER borrow_deleted", "DROP TRIGGER borrow_updated",
             "DROP TRIGGER budget_deleted", "DROP TRIGGER budget_updated", "DROP TRIGGER catelog_deleted",
             "DROP TRIGGER catelog_updated", "DROP TRIGGER excategory_deleted", "DROP TRIGGER excategory_updated"});
    if (!copySchema(initial, keddo) || !copyRows(keddo))
        return false;

    execAll(keddo, {"update tbl_account set kind='credit' where kind='creditcard';",
                    "update tbl_account set kind='card' where kind='bankcard';",
                    "update tbl_bill set kind='refund' where kind='repayin';",
                    "update tbl_bill set kind='repay' where kind='repayout';"});
    execAll(keddo, {"DROP TABLE ked_accounts", "DROP TABLE ked_bills", "DROP TABLE ked_borrowers",
                    "DROP TABLE ked_budget_items", "DROP TABLE ked_budgets", "DROP TABLE ked_catelogs",
                    "DROP TABLE ked_excategories", "DROP TABLE ked_settings", "DROP TABLE ked_trashes"});

    QSqlQuery query(keddo);
    const bool ok = query.exec("insert INTO tbl_setting(sync_time,version) values('" + QString(DbSetting::neverSynced) +
                               "'," + QString::number(Constants::getInstance()->getVersionCode()) + ");");
    if (!ok)
        qCWarning(lcData) << query.lastError().text();
    return ok;
}

QStringList KeddoConverter::tableNames(QSqlDatabase& db)
{
    QStringList names;
    QSqlQuery query(db);
    if (query.exec("select name from sqlite_master where type='table'"))
        while (query.next())
            names << query.value(0).toString();
    return names;
}

bool KeddoConverter::copySchema(QSqlDatabase& initial, QSqlDatabase& keddo)
{
    QSqlQuery schema(initial);
    schema.exec("SELECT name,sql FROM sqlite_master WHERE (type='table' or type='trigger') and name <> "
                "'sqlite_sequence' ORDER BY type;");
    QSqlQuery query(keddo);
    int count = 0;
    // A statement that fails is skipped: the keddo file may already hold a table of that name.
    while (schema.next()) {
        ++count;
        const QString sql = schema.value(1).toString();
        const bool ok = query.exec(sql);
        qCDebug(lcData) << sql << ok << (ok ? QString() : query.lastError().text());
    }
    return count > 0;
}

bool KeddoConverter::copyRows(QSqlDatabase& keddo)
{
    const QList<QPair<QString, QString>> copies{
        {"ked_accounts", "insert INTO tbl_account(id,name,kind,amount,description,sort) select "
                         "account_id,name,kind,amount,description,sort from ked_accounts;"},
        {"ked_bills", "insert INTO tbl_bill(id,title,amount,description,date,month,category_id,sub_category_id,"
                      "account_id,to_account_id, borrower_id,kind) select bill_id,title,amount,description,date,month,"
                      "catelog_id,catelog_id,account_id,to_account_id, borrower_id,kind from ked_bills;"},
        {"ked_borrowers", "insert INTO tbl_borrower(id,name,kind,sort) select borrower_id,name,kind,sort from "
                          "ked_borrowers;"},
        {"ked_catelogs", "insert INTO tbl_category(id,name,kind,sort) select catelog_id,name,kind,sort from "
                         "ked_catelogs;"},
        {"ked_catelogs", "insert INTO tbl_sub_category(id,category_id,name,kind,sort) select "
                         "catelog_id,catelog_id,name,kind,sort from ked_catelogs;"},
    };
    const QStringList present = tableNames(keddo);
    QSqlQuery query(keddo);
    for (const auto& [table, sql] : copies) {
        // A table the file does not have has nothing to copy; one that is there must arrive whole.
        if (!present.contains(table))
            continue;
        if (!query.exec(sql)) {
            qCWarning(lcData) << "keddo copy from" << table << "failed:" << query.lastError().text();
            return false;
        }
    }
    return true;
}

void KeddoConverter::execAll(QSqlDatabase& db, const QStringList& statements)
{
    QSqlQuery query(db);
    for (const QString& statement : statements)
        query.exec(statement);
}

#include "bookrows.h"

#include "data/maccount.h"
#include "data/mbill.h"
#include "data/mborrower.h"
#include "data/mcategory.h"
#include "data/mmember.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QtTest>

void BookRows::dropCaches()
{
    MAccount::clearCache();
    MBorrower::clearCache();
    MMember::clearCache();
    MCategory::clearCache();
    MBill::resetCache();
}

void BookRows::exec(const QString& sql, const QVariantList& values)
{
    QSqlQuery query;
    query.prepare(sql);
    for (const QVariant& v : values)
        query.addBindValue(v);
    if (!query.exec())
        QFAIL(qPrintable(sql + ": " + query.lastError().text()));
}

QVariant BookRows::value(const QString& sql, const QVariantList& values)
{
    QSqlQuery query;
    query.prepare(sql);
    for (const QVariant& v : values)
        query.addBindValue(v);
    if (query.exec() && query.next())
        return query.value(0);
    return QVariant();
}

QString BookRows::addBill(const QString& kind, double amount, const QMap<QString, QString>& ids)
{
    return addBillOn("2014-05-17", kind, amount, ids);
}

QString BookRows::addBillOn(const QString& date, const QString& kind, double amount, const QMap<QString, QString>& ids)
{
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QStringList columns{"id", "kind", "amount", "description", "date", "month"};
    QVariantList values{id, kind, amount, "", date, QString(date).remove('-').left(6).toInt()};
    for (auto it = ids.cbegin(); it != ids.cend(); ++it) {
        columns << it.key();
        values << it.value();
    }
    const QString marks = QStringList(QList<QString>(columns.size(), "?")).join(',');
    exec("insert into tbl_bill (" + columns.join(',') + ") values (" + marks + ")", values);
    return id;
}

void BookRows::refuseWrites(const QString& table)
{
    for (const QString event : {"insert", "update"})
        exec(QString("create trigger refuse_%1_%2 before %1 on %2 begin select raise(abort, 'refused'); end")
                 .arg(event, table));
}

void BookRows::failBillAt(const QString& event, const QString& id)
{
    exec(QString("create temp trigger full_disk before %1 on main.tbl_bill when old.id='%2' begin "
                 "select raise(fail, 'database or disk is full'); end")
             .arg(event, id));
}

QStringList BookRows::billIndexes(const QSqlDatabase& db)
{
    QStringList names;
    QSqlQuery query("select name from sqlite_master where type='index' and tbl_name='tbl_bill' and sql is not null "
                    "order by name",
                    db);
    while (query.next())
        names << query.value(0).toString();
    return names;
}

void BookRows::dropBillIndexes(const QSqlDatabase& db)
{
    QSqlQuery query(db);
    for (const QString& name : billIndexes(db))
        if (!query.exec("drop index " + name))
            QFAIL(qPrintable(name + ": " + query.lastError().text()));
}

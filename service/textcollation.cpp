#include "textcollation.h"

#include "storequery.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

QString TextCollation::declared(const QString& statement, bool sqlite)
{
    static const QRegularExpression textType("\\btext\\b");
    return sqlite ? statement : QString(statement).replace(textType, "text collate \"C\"");
}

bool TextCollation::alteration(const QSqlDatabase& db, const QString& table, QString& alteration, QSqlError& failure)
{
    alteration.clear();
    if (db.driverName() == "QSQLITE")
        return true;
    // A column compares as bytes in collation "C" or "POSIX", or in the database's own where that is one of them under
    // the C library (a database whose collation is ICU's names its C library's locale all the same); datlocprovider
    // is read through its row's JSON, as servers before PostgreSQL 15 lack it. The statement is made by the server,
    // which quotes each name it holds.
    QSqlQuery query(db);
    query.prepare(
        "select 'alter table ' || quote_ident(?) || ' ' || string_agg('alter column ' || quote_ident(a.attname) "
        "|| ' type text collate \"C\"', ', ' order by a.attnum) from pg_attribute a join pg_collation c on c.oid = "
        "a.attcollation where a.attrelid = to_regclass(?) and a.attnum > 0 and not a.attisdropped and a.atttypid "
        "= 'text'::regtype and not (c.collnamespace = 'pg_catalog'::regnamespace and (c.collname in ('C', "
        "'POSIX') or (c.collname = 'default' and (select d.datcollate in ('C', 'POSIX') and "
        "coalesce(to_jsonb(d) ->> 'datlocprovider', 'c') = 'c' from pg_database d where d.datname = "
        "current_database()))))");
    query.addBindValue(table);
    query.addBindValue(table);
    if (!query.exec() || !query.next())
        return StoreQuery::failedWith(query, failure);
    alteration = query.value(0).toString();
    return true;
}

#include "textcollation.h"

#include "storequery.h"

#include <QRegularExpression>

#include <memory>

QString TextCollation::declared(const QString& statement, bool sqlite)
{
    static const QRegularExpression textType("\\btext\\b");
    return sqlite ? statement : QString(statement).replace(textType, "text collate \"C\"");
}

bool TextCollation::alteration(const StoreStatement::Maker& statements, bool sqlite, const QString& table,
                               QString& alteration, QSqlError& failure)
{
    alteration.clear();
    if (sqlite)
        return true;
    // A column compares as bytes in collation "C" or "POSIX", or in the database's own where that is one of them, or
    // C.UTF-8, under the C library (a database whose collation is ICU's names its C library's locale all the same):
    // the C library sorts C.UTF-8 by code point, which is the order of UTF-8's bytes, and a store there is left as an
    // earlier version made it, so that processes of that version go on serving it beside this one. datlocprovider is
    // read through its row's JSON, as servers before PostgreSQL 15 lack it. The statement is made by the server, which
    // quotes each name it holds.
    const std::unique_ptr<StoreStatement> query = statements();
    const QString sql =
        "select 'alter table ' || quote_ident(?) || ' ' || string_agg('alter column ' || quote_ident(a.attname) "
        "|| ' type text collate \"C\"', ', ' order by a.attnum) from pg_attribute a join pg_collation c on c.oid = "
        "a.attcollation where a.attrelid = to_regclass(?) and a.attnum > 0 and not a.attisdropped and a.atttypid "
        "= 'text'::regtype and not (c.collnamespace = 'pg_catalog'::regnamespace and (c.collname in ('C', "
        "'POSIX') or (c.collname = 'default' and (select (d.datcollate in ('C', 'POSIX') or "
        "lower(d.datcollate) in ('c.utf-8', 'c.utf8')) and coalesce(to_jsonb(d) ->> 'datlocprovider', 'c') = 'c' "
        "from pg_database d where d.datname = current_database()))))";
    if (!StoreQuery::start(*query, sql, {table.toUtf8(), table.toUtf8()}, failure))
        return false;
    if (query->next())
        alteration = QString::fromUtf8(query->text(0));
    return query->finish() || StoreQuery::failedWith(*query, failure);
}

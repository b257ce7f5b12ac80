#include "data/recordsql.h"

#include "data/logcategories.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

QString RecordSql::newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool RecordSql::exec(QSqlQuery& query)
{
    const bool ok = query.exec();
    if (ok)
        qCDebug(lcData) << "true";
    else
        qCWarning(lcData) << "false" << query.lastError().text();
    return ok;
}

bool RecordSql::execUpdate(QSqlQuery& query)
{
    return exec(query) && query.numRowsAffected() > 0;
}

int RecordSql::count(const QString& sql, const QVariantList& values)
{
    QSqlQuery query;
    query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (query.exec() && query.next())
        return query.value(0).toInt();
    return 0;
}

bool RecordSql::allOrNothing(const std::function<bool()>& work)
{
    QSqlDatabase db = QSqlDatabase::database();
    // Beginning fails only inside a transaction that is open already.
    const bool own = db.transaction();
    const bool done = work();
    if (!own)
        return done;
    if (done && db.commit())
        return true;
    db.rollback();
    return false;
}

bool RecordSql::removeRow(const QString& table, const QString& id)
{
    // Both steps or neither: a failed delete must not lose the twin's older copy. The twin row is only
    // dropped while the live row exists, so a remove of a row that is already gone (removed twice, or by a
    // sync meanwhile) keeps the deletion the sync still has to upload.
    return allOrNothing([&table, &id] {
        QSqlQuery query;
        query.prepare("delete from " + table + "_deleted where id=? and exists (select 1 from " + table +
                      " where id=?)");
        query.addBindValue(id);
        query.addBindValue(id);
        if (!exec(query))
            return false;
        query.prepare("delete from " + table + " where id=?");
        query.addBindValue(id);
        return execUpdate(query);
    });
}

#include "online/syncsql.h"

#include "data/logcategories.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {
SyncSql::FailureHook failureHook;

bool injectedFailure(const QString& statement)
{
    if (!failureHook || !failureHook(statement))
        return false;
    qCWarning(lcSync) << "sync statement failed (injected):" << statement;
    return true;
}
} // namespace

void SyncSql::setFailureHook(const FailureHook& hook)
{
    failureHook = hook;
}

bool SyncSql::exec(QSqlQuery& query)
{
    if (injectedFailure(query.lastQuery()))
        return false;
    if (query.exec())
        return true;
    qCWarning(lcSync) << "sync statement failed:" << query.lastQuery() << query.lastError().text();
    return false;
}

bool SyncSql::exec(QSqlQuery& query, const QString& sql, const QVariantList& values)
{
    return prepare(query, sql) && run(query, values);
}

bool SyncSql::prepare(QSqlQuery& query, const QString& sql)
{
    if (query.prepare(sql))
        return true;
    qCWarning(lcSync) << "sync statement not prepared:" << sql << query.lastError().text();
    return false;
}

bool SyncSql::run(QSqlQuery& query, const QVariantList& values)
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    return exec(query);
}

bool SyncSql::begin()
{
    if (injectedFailure("BEGIN"))
        return false;
    QSqlDatabase db = QSqlDatabase::database();
    if (db.transaction())
        return true;
    qCWarning(lcSync) << "sync transaction not begun:" << db.lastError().text();
    return false;
}

bool SyncSql::commit()
{
    QSqlDatabase db = QSqlDatabase::database();
    if (!injectedFailure("COMMIT") && db.commit())
        return true;
    qCWarning(lcSync) << "sync transaction not committed:" << db.lastError().text();
    db.rollback();
    return false;
}

void SyncSql::rollback()
{
    QSqlDatabase db = QSqlDatabase::database();
    if (!db.rollback())
        qCWarning(lcSync) << "sync transaction not rolled back:" << db.lastError().text();
}

QString SyncSql::quoted(const QString& identifier)
{
    QString text = identifier;
    return '"' + text.replace('"', "\"\"") + '"';
}

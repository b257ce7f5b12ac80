#include "storequery.h"

#include "servicelog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

QString StoreQuery::errorSummary(const QSqlError& error)
{
    return error.nativeErrorCode() + ' ' + error.databaseText().section('\n', 0, 0);
}

bool StoreQuery::failed(const QSqlQuery& query)
{
    qCWarning(lcService) << "store:" << errorSummary(query.lastError());
    return false;
}

bool StoreQuery::exec(QSqlQuery& query)
{
    return query.exec() || failed(query);
}

QString StoreQuery::marks(int count)
{
    return QStringList(QList<QString>(count, "?")).join(", ");
}

#include "preparedqueries.h"

#include "storequery.h"

#include <QSqlDatabase>

std::shared_ptr<QSqlQuery> PreparedQueries::prepared(const QSqlDatabase& db, const QString& sql)
{
    if (std::shared_ptr<QSqlQuery> kept = m_queries.find(sql))
        return kept;
    auto query = std::make_shared<QSqlQuery>(db);
    query->setForwardOnly(true);
    if (!query->prepare(sql)) {
        StoreQuery::failed(*query);
        return nullptr;
    }
    m_queries.keep(sql, query);
    return query;
}

#include "preparedqueries.h"

#include "storequery.h"

#include <QSqlDatabase>

#include <algorithm>

namespace {
// Some 15 statements of fixed text, and a few dozen counts of records looked up or written at once; a place costs
// the store's server a few kilobytes.
const qsizetype mostKept = 64;
} // namespace

std::shared_ptr<QSqlQuery> PreparedQueries::prepared(const QSqlDatabase& db, const QString& sql)
{
    ++m_uses;
    const auto kept = m_queries.find(sql);
    if (kept != m_queries.end()) {
        kept->used = m_uses;
        return kept->query;
    }
    auto query = std::make_shared<QSqlQuery>(db);
    query->setForwardOnly(true);
    if (!query->prepare(sql)) {
        StoreQuery::failed(*query);
        return nullptr;
    }
    if (m_queries.size() >= mostKept) {
        const auto oldest = std::min_element(m_queries.cbegin(), m_queries.cend(),
                                             [](const Kept& a, const Kept& b) { return a.used < b.used; });
        m_queries.erase(oldest);
    }
    m_queries.insert(sql, Kept{query, m_uses});
    return query;
}

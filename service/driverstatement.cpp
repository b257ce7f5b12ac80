#include "driverstatement.h"

#include "preparedqueries.h"
#include "storequery.h"

DriverStatement::DriverStatement(const QSqlDatabase& db, PreparedQueries& queries) : m_db(db), m_queries(queries) {}

bool DriverStatement::prepare(const QString& sql)
{
    m_query = m_queries.prepared(m_db, sql);
    return m_query != nullptr;
}

void DriverStatement::bindText(int position, QByteArrayView text)
{
    m_query->bindValue(position, QString::fromUtf8(text));
}

void DriverStatement::bindNumber(int position, qint64 number)
{
    m_query->bindValue(position, number);
}

bool DriverStatement::run()
{
    return StoreQuery::exec(*m_query);
}

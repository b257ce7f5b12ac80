#include "driverstatement.h"

#include "storequery.h"

DriverStatement::DriverStatement(const QSqlDatabase& db) : m_query(db) {}

bool DriverStatement::prepare(const QString& sql)
{
    return m_query.prepare(sql) || StoreQuery::failed(m_query);
}

void DriverStatement::bindText(int position, QByteArrayView text)
{
    m_query.bindValue(position, QString::fromUtf8(text));
}

void DriverStatement::bindNumber(int position, qint64 number)
{
    m_query.bindValue(position, number);
}

bool DriverStatement::run()
{
    return StoreQuery::exec(m_query);
}

#include "postgresqlstatement.h"

#include "storequery.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>

#include <memory>

namespace {
// PostgreSQL's type of a text; numbers go as texts of their digits, whose type the server takes from their column.
const Oid textType = 25;
} // namespace

PostgresqlStatement::PostgresqlStatement(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (qstrcmp(handle.typeName(), "pg_conn*") == 0)
        m_connection = *static_cast<PGconn* const*>(handle.constData());
}

bool PostgresqlStatement::prepare(const QString& sql)
{
    m_sql = sql;
    // libpq numbers its parameters; the service's statements hold no "?" but their marks.
    QString numbered;
    int count = 0;
    for (const QChar c : sql)
        numbered += c == '?' ? QString("$%1").arg(++count) : QString(c);
    m_statement = numbered.toUtf8();
    m_values.assign(std::size_t(count), Value());
    return m_connection != nullptr || StoreQuery::failed("(no connection)", sql);
}

void PostgresqlStatement::bindText(int position, QByteArrayView text)
{
    m_values.at(std::size_t(position)) = Value{text, {}, true};
}

void PostgresqlStatement::bindNumber(int position, qint64 number)
{
    m_values.at(std::size_t(position)) = Value{{}, QByteArray::number(number), false};
}

bool PostgresqlStatement::run()
{
    const int count = int(m_values.size());
    std::vector<Oid> types(m_values.size());
    std::vector<const char*> values(m_values.size());
    std::vector<int> lengths(m_values.size());
    // A text goes in the binary form of its type, which for a text is its bytes, with their length: no terminating
    // zero is needed, and none is copied to make one.
    std::vector<int> formats(m_values.size());
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        const Value& value = m_values.at(i);
        types.at(i) = value.isText ? textType : 0;
        // A null pointer would send NULL: an empty text has a place of its own.
        values.at(i) = !value.isText ? value.number.constData() : value.text.data() ? value.text.data() : "";
        lengths.at(i) = value.isText ? int(value.text.size()) : 0;
        formats.at(i) = value.isText ? 1 : 0;
    }
    const std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexecParams(m_connection, m_statement.constData(),
                                                                            count, types.data(), values.data(),
                                                                            lengths.data(), formats.data(), 0),
                                                               &PQclear);
    if (PQresultStatus(result.get()) == PGRES_COMMAND_OK)
        return true;
    const char* code = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
    // A failure to reach the server has no code; libpq's own message then quotes no value.
    return StoreQuery::failed(code ? StoreQuery::codeSummary(QString::fromLatin1(code))
                                   : QString::fromUtf8(PQerrorMessage(m_connection)).section('\n', 0, 0),
                              m_sql);
}

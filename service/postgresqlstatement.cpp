#include "postgresqlstatement.h"

#include "storequery.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>

#include <atomic>
#include <memory>

PostgresqlStatement::Session PostgresqlStatement::sessionOf(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0)
        return nullptr;
    PGconn* connection = *static_cast<PGconn* const*>(handle.constData());
    // The driver finishes the connection as it closes it: the session only marks its life.
    return connection ? Session(connection, [](PGconn*) {}) : nullptr;
}

PostgresqlStatement::PostgresqlStatement(const Session& session, Kept& kept)
    : m_connection(session.get()), m_session(session), m_kept(kept)
{
}

bool PostgresqlStatement::prepare(const QString& sql)
{
    m_sql = sql;
    // libpq numbers its parameters; the service's statements hold no "?" but their marks.
    QString numbered;
    int count = 0;
    for (const QChar c : sql)
        numbered += c == '?' ? QString("$%1").arg(++count) : QString(c);
    m_values.assign(std::size_t(count), Value());
    if (!m_connection)
        return StoreQuery::failed("(no connection)", sql);
    m_name = m_kept.find(sql);
    if (m_name)
        return true;
    // Named apart from the driver's own statements, which it names "qpsqlpstmt_" and a number. The types are those of
    // the columns the values go to.
    static std::atomic<quint64> made{0};
    const QByteArray name = "quillbay_" + QByteArray::number(++made);
    const std::unique_ptr<PGresult, decltype(&PQclear)> result(
        PQprepare(m_connection, name.constData(), numbered.toUtf8().constData(), count, nullptr), &PQclear);
    if (!succeeded(result.get()))
        return false;
    m_name.reset(new QByteArray(name), [session = m_session](QByteArray* kept) {
        // A connection that closed or broke took its statements along, and one whose statements the server forgot
        // has none of them to let go.
        if (const Session connection = session.lock(); connection && PQstatus(connection.get()) == CONNECTION_OK)
            PQclear(PQexec(connection.get(), "deallocate " + *kept));
        delete kept;
    });
    m_kept.keep(sql, m_name);
    return true;
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
    std::vector<const char*> values(m_values.size());
    std::vector<int> lengths(m_values.size());
    // A text goes in the binary form of its type, which for a text is its bytes, with their length: no terminating
    // zero is needed, and none is copied to make one.
    std::vector<int> formats(m_values.size());
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        const Value& value = m_values.at(i);
        // A null pointer would send NULL: an empty text has a place of its own.
        values.at(i) = !value.isText ? value.number.constData() : value.text.data() ? value.text.data() : "";
        lengths.at(i) = value.isText ? int(value.text.size()) : 0;
        formats.at(i) = value.isText ? 1 : 0;
    }
    const std::unique_ptr<PGresult, decltype(&PQclear)> result(
        PQexecPrepared(m_connection, m_name->constData(), count, values.data(), lengths.data(), formats.data(), 0),
        &PQclear);
    // What was bound lies in the caller's memory, which the statement does not keep past its run.
    m_values.assign(m_values.size(), Value());
    return succeeded(result.get());
}

bool PostgresqlStatement::succeeded(const pg_result* result)
{
    if (PQresultStatus(result) == PGRES_COMMAND_OK)
        return true;
    const char* code = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    m_forgotten = qstrcmp(code, unknownStatement) == 0;
    // A failure to reach the server has no code; libpq's own message then quotes no value.
    return StoreQuery::failed(code ? StoreQuery::codeSummary(QString::fromLatin1(code))
                                   : QString::fromUtf8(PQerrorMessage(m_connection)).section('\n', 0, 0),
                              m_sql);
}

#include "postgresqlstatement.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>

#include <atomic>
#include <memory>
#include <utility>

PostgresqlStatement::Session PostgresqlStatement::sessionOf(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0)
        return nullptr;
    PGconn* connection = *static_cast<PGconn* const*>(handle.constData());
    // The driver finishes the connection as it closes it: the session only marks its life.
    return connection ? Session(connection, [](PGconn*) {}) : nullptr;
}

PostgresqlStatement::PostgresqlStatement(const Session& session, Kept& kept, PostgresqlWait& wait)
    : m_connection(session.get()), m_session(session), m_kept(kept), m_wait(wait)
{
}

PostgresqlStatement::~PostgresqlStatement()
{
    reset();
}

bool PostgresqlStatement::compile(const QString& sql)
{
    // libpq numbers its parameters; the service's statements hold no "?" but their marks.
    QString numbered;
    int count = 0;
    for (const QChar c : sql)
        numbered += c == '?' ? QString("$%1").arg(++count) : QString(c);
    m_values.assign(std::size_t(count), Value());
    if (!m_connection)
        return failedWith({}, "(no connection)");
    m_commits = sql == "commit";
    m_name = m_kept.find(sql);
    if (m_name)
        return true;
    // Named apart from the driver's own statements, which it names "qpsqlpstmt_" and a number. The types are those of
    // the columns the values go to.
    static std::atomic<quint64> made{0};
    const QByteArray name = "quillbay_" + QByteArray::number(++made);
    m_sending = PQsendPrepare(m_connection, name.constData(), numbered.toUtf8().constData(), count, nullptr) == 1;
    if (!m_sending || !m_wait.sent(m_connection))
        return failed(nullptr);
    const std::unique_ptr<PGresult, decltype(&PQclear)> result(m_wait.nextResult(m_connection), &PQclear);
    reset();
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        return failed(result.get());
    // The wait is the store's, which lets go of its statements before the wait goes.
    m_name.reset(new QByteArray(name), [session = m_session, wait = &m_wait](QByteArray* kept) {
        // A connection that closed or broke took its statements along, and one whose statements the server forgot
        // has none of them to let go.
        if (const Session connection = session.lock(); connection && PQstatus(connection.get()) == CONNECTION_OK &&
                                                       PQsendQuery(connection.get(), "deallocate " + *kept) == 1 &&
                                                       wait->sent(connection.get()))
            wait->drain(connection.get());
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

bool PostgresqlStatement::execute()
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
    m_changes = 0;
    m_sending = PQsendQueryPrepared(m_connection, m_name->constData(), count, values.data(), lengths.data(),
                                    formats.data(), 0) == 1;
    // What was bound lies in the caller's memory, which the statement does not keep past its sending.
    m_values.assign(m_values.size(), Value());
    if (!m_sending)
        return failed(nullptr);
    // One row at a time: a reading of many rows, or of large ones, is never held whole. Where libpq refuses, the rows
    // would come as one result, which would end the reading at once: it fails instead.
    if (PQsetSingleRowMode(m_connection) != 1)
        return failedWith({}, "the database's library would not read the rows one at a time");
    if (!m_wait.sent(m_connection))
        return failed(nullptr);
    return received();
}

bool PostgresqlStatement::step()
{
    return m_sending && received();
}

bool PostgresqlStatement::received()
{
    PQclear(m_result);
    m_result = m_wait.nextResult(m_connection);
    switch (PQresultStatus(m_result)) {
    case PGRES_SINGLE_TUPLE:
        return true;
    case PGRES_COMMAND_OK:
        m_changes = QByteArrayView(PQcmdTuples(m_result)).toLongLong();
        // The server answers the commit of a transaction it had undone with a rollback.
        if (m_commits && qstrcmp(PQcmdStatus(m_result), "COMMIT") != 0)
            failedWith({}, "the transaction was undone instead of committed");
        break;
    case PGRES_TUPLES_OK:
        break;
    default:
        // An error, or no result before the statement's end: the connection failed or was given up part-way.
        failed(m_result);
        break;
    }
    reset();
    return false;
}

QByteArrayView PostgresqlStatement::text(int column) const
{
    return QByteArrayView(PQgetvalue(m_result, 0, column), PQgetlength(m_result, 0, column));
}

bool PostgresqlStatement::isNull(int column) const
{
    return PQgetisnull(m_result, 0, column) == 1;
}

void PostgresqlStatement::reset()
{
    PQclear(m_result);
    m_result = nullptr;
    // The rows left are read and dropped, one at a time, as a reading that stops early leaves them on the way.
    if (std::exchange(m_sending, false))
        m_wait.drain(m_connection);
}

bool PostgresqlStatement::failed(const pg_result* result)
{
    const char* code = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    // A failure to reach the server has no code; libpq's own message then quotes no value.
    return code ? failedWith(QString::fromLatin1(code)) : failedWith({}, m_wait.failure(m_connection));
}

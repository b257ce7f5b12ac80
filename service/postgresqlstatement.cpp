#include "postgresqlstatement.h"

#include "servicelog.h"
#include "storeaddress.h"

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>

#include <atomic>
#include <memory>
#include <utility>

namespace {
// The statement with its values marked as libpq numbers them, "$1", "$2"...: the service's statements hold no "?" but
// their marks.
QByteArray numberedMarks(const QString& sql)
{
    const QByteArray text = sql.toUtf8();
    QByteArray numbered;
    numbered.reserve(text.size() + text.count('?') * 3);
    int count = 0;
    for (const char c : text) {
        if (c == '?')
            numbered += '$' + QByteArray::number(++count);
        else
            numbered += c;
    }
    return numbered;
}

// A name that no other statement has, on any connection of this process or of another, on this computer or another:
// a server session that a pooler hands from one connection to the next keeps the names prepared in it. Its part of
// 64 random bits is the process's own; its number, the statement's within the process. Named apart from the driver's
// own statements too, which it names "qpsqlpstmt_" and a number.
QByteArray newName()
{
    static const QByteArray process = QByteArray::number(QRandomGenerator::system()->generate64(), 36);
    static std::atomic<quint64> made{0};
    return "quillbay_" + process + '_' + QByteArray::number(++made);
}

// Tells the operator once what a statement that the server did not know right after it was prepared on the same
// connection means: no server restart or reset comes between the two, but a pooler that hands out its server
// connections a transaction at a time does.
void tellOfSharedSessions()
{
    static std::atomic_flag told = ATOMIC_FLAG_INIT;
    if (!told.test_and_set())
        qCWarning(lcService).noquote() << "store: the database server did not know a statement just prepared on the "
                                          "same connection, as where a pooler hands out its server connections a "
                                          "transaction at a time: " +
                                              StoreAddress::sharedSessionsAdvice;
}
} // namespace

PostgresqlStatement::Session PostgresqlStatement::sessionOf(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0)
        return nullptr;
    PGconn* connection = *static_cast<PGconn* const*>(handle.constData());
    // The driver finishes the connection as it closes it: the session only marks its life.
    return connection ? Session(connection, [](PGconn*) {}) : nullptr;
}

PostgresqlStatement::PostgresqlStatement(const Session& session, Kept& kept, PostgresqlWait& wait, Preparing preparing)
    : m_connection(session.get()), m_session(session), m_kept(kept), m_wait(wait), m_preparing(preparing)
{
}

PostgresqlStatement::~PostgresqlStatement()
{
    reset();
}

bool PostgresqlStatement::compile(const QString& sql)
{
    m_values.assign(std::size_t(sql.count('?')), Value());
    m_justPrepared = false;
    if (!m_connection)
        return failedWith({}, "(no connection)");
    m_commits = sql == "commit";
    m_prepared = m_kept.find(sql);
    if (m_prepared)
        return true;
    if (m_preparing == Preparing::Unnamed)
        m_prepared = std::make_shared<QByteArray>(numberedMarks(sql));
    else if (!prepareNamed(numberedMarks(sql)))
        return false;
    m_kept.keep(sql, m_prepared);
    return true;
}

bool PostgresqlStatement::prepareNamed(const QByteArray& numbered)
{
    // The types are those of the columns the values go to.
    const QByteArray name = newName();
    m_sending = PQsendPrepare(m_connection, name.constData(), numbered.constData(), int(m_values.size()), nullptr) == 1;
    if (!m_sending || !m_wait.sent(m_connection))
        return failed(nullptr);
    const std::unique_ptr<PGresult, decltype(&PQclear)> result(m_wait.nextResult(m_connection), &PQclear);
    reset();
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        return failed(result.get());
    // The wait is the store's, which lets go of its statements before the wait goes.
    m_prepared.reset(new QByteArray(name), [session = m_session, wait = &m_wait](QByteArray* kept) {
        // A connection that closed or broke took its statements along, and one whose statements the server forgot
        // has none of them to let go.
        if (const Session connection = session.lock(); connection && PQstatus(connection.get()) == CONNECTION_OK &&
                                                       PQsendQuery(connection.get(), "deallocate " + *kept) == 1 &&
                                                       wait->sent(connection.get()))
            wait->drain(connection.get());
        delete kept;
    });
    m_justPrepared = true;
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
    m_sending = (m_preparing == Preparing::Unnamed
                     ? PQsendQueryParams(m_connection, m_prepared->constData(), count, nullptr, values.data(),
                                         lengths.data(), formats.data(), 0)
                     : PQsendQueryPrepared(m_connection, m_prepared->constData(), count, values.data(), lengths.data(),
                                           formats.data(), 0)) == 1;
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
    const bool justPrepared = std::exchange(m_justPrepared, false);
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
        if (justPrepared && forgotten())
            tellOfSharedSessions();
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

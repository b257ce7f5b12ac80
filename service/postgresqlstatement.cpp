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

PostgresqlStatement::PostgresqlStatement(const Session& session, Kept& kept, Preparing preparing)
    : m_connection(session.get()), m_session(session), m_kept(kept), m_preparing(preparing)
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
    const std::unique_ptr<PGresult, decltype(&PQclear)> result(
        PQprepare(m_connection, name.constData(), numbered.constData(), int(m_values.size()), nullptr), &PQclear);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        return failed(result.get());
    m_prepared.reset(new QByteArray(name), [session = m_session](QByteArray* kept) {
        // A connection that closed or broke took its statements along, and one whose statements the server forgot
        // has none of them to let go.
        if (const Session connection = session.lock(); connection && PQstatus(connection.get()) == CONNECTION_OK)
            PQclear(PQexec(connection.get(), "deallocate " + *kept));
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
    // One row at a time: a reading of many rows, or of large ones, is never held whole.
    PQsetSingleRowMode(m_connection);
    return received();
}

bool PostgresqlStatement::step()
{
    return m_sending && received();
}

bool PostgresqlStatement::received()
{
    PQclear(m_result);
    m_result = PQgetResult(m_connection);
    const bool justPrepared = std::exchange(m_justPrepared, false);
    switch (PQresultStatus(m_result)) {
    case PGRES_SINGLE_TUPLE:
        return true;
    case PGRES_COMMAND_OK:
        m_changes = QByteArrayView(PQcmdTuples(m_result)).toLongLong();
        break;
    case PGRES_TUPLES_OK:
        break;
    default:
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
    if (!std::exchange(m_sending, false))
        return;
    // The rows left are read and dropped, one at a time, as a reading that stops early leaves them on the way.
    while (PGresult* rest = PQgetResult(m_connection))
        PQclear(rest);
}

bool PostgresqlStatement::failed(const pg_result* result)
{
    const char* code = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    // A failure to reach the server has no code; libpq's own message then quotes no value.
    return code ? failedWith(QString::fromLatin1(code))
                : failedWith({}, QString::fromUtf8(PQerrorMessage(m_connection)).section('\n', 0, 0));
}

#include "postgresqlwait.h"

#include "servicelog.h"

#include <libpq-fe.h>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

void PostgresqlWait::watch(pg_conn* connection)
{
    m_givenUp = false;
    PQsetnonblocking(connection, 1);
}

bool PostgresqlWait::sent(pg_conn* connection)
{
    for (int flushed = PQflush(connection); flushed != 0; flushed = PQflush(connection)) {
        // What the server sends meanwhile (an error that ends the statement) is read, as libpq reads it, so that
        // neither side waits for the other.
        if (flushed < 0 || !ready(connection, POLLOUT | POLLIN))
            return false;
    }
    return true;
}

pg_result* PostgresqlWait::nextResult(pg_conn* connection)
{
    while (PQisBusy(connection)) {
        // A connection that ends may have sent the result that says why before it ended: it is taken when whole.
        if (!ready(connection, POLLIN))
            return PQisBusy(connection) ? nullptr : PQgetResult(connection);
    }
    return PQgetResult(connection);
}

void PostgresqlWait::drain(pg_conn* connection)
{
    while (PGresult* rest = nextResult(connection))
        PQclear(rest);
}

QString PostgresqlWait::failure(pg_conn* connection) const
{
    if (m_givenUp)
        return "the connection was given up, " + silence();
    const QString message = QString::fromUtf8(PQerrorMessage(connection)).section('\n', 0, 0);
    return message.isEmpty() ? QString("the connection to the database server failed") : message;
}

bool PostgresqlWait::ready(pg_conn* connection, short events)
{
    // libpq closes the socket of a connection it found broken: there is nothing to wait for on it.
    if (m_givenUp || PQsocket(connection) < 0)
        return false;
    pollfd socket{PQsocket(connection), events, 0};
    int outcome = 0;
    do
        outcome = poll(&socket, 1, int(m_bound.count()));
    while (outcome < 0 && errno == EINTR);
    if (outcome == 0)
        giveUp(connection);
    return outcome > 0 && PQconsumeInput(connection) == 1;
}

void PostgresqlWait::giveUp(pg_conn* connection)
{
    m_givenUp = true;
    shutdown(PQsocket(connection), SHUT_RDWR);
    qCWarning(lcService).noquote() << "store connection given up:" << silence();
}

QString PostgresqlWait::silence() const
{
    return QString("the database server neither took nor sent a byte for %1 s")
        .arg(QString::number(double(m_bound.count()) / 1000));
}

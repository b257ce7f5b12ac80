#pragma once

#include <QString>

#include <chrono>

struct pg_conn;
struct pg_result;

// The service's own bound on how long a statement waits for the PostgreSQL server: for it to take the statement's
// bytes, or to send its next ones. libpq would wait without end, and the kernel sees nothing wrong with a server that
// stops answering while the socket stays up (a failover that moved its address, a relay or a proxy that keeps the
// connection open), so that the statement, and its worker, would wait for as long as the silence lasts. A connection
// silent for longer than the bound is given up: its socket is shut down at once, so that nothing more is waited for on
// it, and the store opens another for its next request. The bound is on the silence, not on the statement: a reading
// that streams rows for minutes, or a wait for a lock that the server ends after half a second, never meets it.
class PostgresqlWait
{
public:
    explicit PostgresqlWait(std::chrono::milliseconds bound) : m_bound(bound) {}

    std::chrono::milliseconds bound() const { return m_bound; }
    // Takes a new connection, of which nothing is given up yet: its sends never block, as libpq's own would for as long
    // as the server takes nothing.
    void watch(pg_conn* connection);
    // Waits until libpq has sent the server what it holds for it; false when the connection failed or was given up.
    bool sent(pg_conn* connection);
    // The statement's next result, waited for within the bound; null when none comes: at the statement's end, or
    // because the connection failed or was given up.
    pg_result* nextResult(pg_conn* connection);
    // Reads and drops what the server still sends for the statement, so that the connection is free for the next.
    void drain(pg_conn* connection);
    bool givenUp() const { return m_givenUp; }
    // What went wrong with the connection, for the log and never empty: the silence it was given up for, or libpq's own
    // words, which quote no value.
    QString failure(pg_conn* connection) const;

private:
    // Waits for the connection's socket to be ready for the events and reads what has come into libpq's buffer: false
    // when the connection failed, or when the server neither took nor sent a byte within the bound and the connection
    // is given up.
    bool ready(pg_conn* connection, short events);
    // Shuts the connection's socket down: libpq finds it closed at its next call, and the server, or the relay or proxy
    // in between, at once.
    void giveUp(pg_conn* connection);
    QString silence() const;

    std::chrono::milliseconds m_bound;
    bool m_givenUp = false;
};

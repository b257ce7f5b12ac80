#pragma once

#include <QString>

class QSqlDatabase;

// Whether the connections to a PostgreSQL address can be served as the address says (StoreAddress): a pooler in
// transaction mode hands each transaction, and each statement outside one, whichever server session is free, and there
// a statement prepared by name on one connection is unknown on the next, or another process's. The start looks with a
// second connection beside its own: the second holds a transaction while the first runs a statement. The sessions are
// shared when the second's transaction took the server session the first had just used, or the first moved to another
// meanwhile; neither happens on the database itself nor behind a pooler in session mode. A pool whose other sessions
// are busy may show neither, and its sharing is told in the log once a statement turns out unknown
// (PostgresqlStatement).
class PoolerProbe
{
public:
    // Why the store at the address cannot be served through its connections, `own` open, as the address says they
    // are pooled: sessions shared where the address does not say so, a pooler that refuses transactions, or the look
    // failed; nothing when it can.
    static QString refusal(const QSqlDatabase& own, const QString& url);
};

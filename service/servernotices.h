#pragma once

struct pg_conn;

// What the database server tells a connection beside its answers. Its notices, such as the "already exists,
// skipping" that the statements of every start draw, are noise in the operator's log and are dropped; a warning is
// logged by its code, as a failure is, never with its message, which may quote synced data. They are taken on the
// connection rather than kept on the server by a start-up parameter, which a pooler in front of it may refuse.
class ServerNotices
{
public:
    // Takes what the server tells the open connection from now on, which libpq would print on standard error.
    static void takeFrom(pg_conn* connection);
};

#pragma once

#include <QString>

class QSqlDatabase;

// What went wrong where a connection of Qt's PostgreSQL driver could not be opened, told in one line: the driver
// says it in libpq's lines and its own ("QPSQL: Unable to connect"), without the code of the server's refusal, which
// libpq keeps from its caller once the connection has failed.
class PostgresqlConnectFailure
{
public:
    // Tries the connection again as `db` makes it, through libpq, and tells what went wrong: in words with the code
    // beside them where the server refused the connection (a database or a user it does not know, a wrong password),
    // or libpq's first line where it could not be reached (a port that refuses connections). Where this try gets
    // further, what the driver said, on one line.
    static QString described(const QSqlDatabase& db);
};

#pragma once

#include <QSqlDatabase>

struct sqlite3;

// The SQLite connection under a connection of Qt's SQLite driver, for the few places that call SQLite itself: there
// each value goes straight between its bytes and the statement, without the driver's conversions for every one.
class SqliteHandle
{
public:
    // The connection's handle when it is open on Qt's SQLite driver and that driver runs on the SQLite library this
    // program is linked with, so that the handle is ours to use; else null.
    static sqlite3* of(const QSqlDatabase& db);
};

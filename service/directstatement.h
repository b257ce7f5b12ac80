#pragma once

#include "keptstatements.h"

#include <QByteArrayView>
#include <QString>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// A statement run straight through SQLite's own calls, on the handle of a connection of Qt's SQLite driver
// (SqliteHandle): texts are bound as the UTF-8 bytes they are, without the driver's conversions and bookkeeping for
// each value, which cost more than the writing itself. Its calls are those of the store's statements through the
// driver (positions from 0), so that one loop writes through either. Each statement is prepared once for its
// connection and kept: a write of the store's records brings its triggers along (WireSizeSql), whose compiling takes
// milliseconds, inside the transaction that holds the store.
class DirectStatement
{
public:
    using Kept = KeptStatements<sqlite3_stmt>;

    DirectStatement(sqlite3* db, Kept& kept) : m_db(db), m_kept(kept) {}
    DirectStatement(const DirectStatement&) = delete;
    DirectStatement& operator=(const DirectStatement&) = delete;

    bool prepare(const QString& sql);
    // Binds the text, whose bytes must stay where they are until the statement has run.
    void bindText(int position, QByteArrayView text);
    void bindNumber(int position, qint64 number);
    // Runs the statement with what is bound, which it lets go of then; false, with the store's error logged, when it
    // fails.
    bool run();

private:
    bool failed();

    sqlite3* m_db;
    Kept& m_kept;
    QString m_sql;
    std::shared_ptr<sqlite3_stmt> m_statement;
};

#pragma once

#include <QByteArrayView>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

// A statement run straight through SQLite's own calls, on the handle of a connection of Qt's SQLite driver
// (SqliteHandle): texts are bound as the UTF-8 bytes they are, without the driver's conversions and bookkeeping for
// each value, which cost more than the writing itself. Its calls are those of the store's statements through the
// driver (positions from 0), so that one loop writes through either.
class DirectStatement
{
public:
    explicit DirectStatement(sqlite3* db) : m_db(db) {}
    ~DirectStatement();
    DirectStatement(const DirectStatement&) = delete;
    DirectStatement& operator=(const DirectStatement&) = delete;

    bool prepare(const QString& sql);
    // Binds the text, whose bytes must stay where they are until the statement has run.
    void bindText(int position, QByteArrayView text);
    void bindNumber(int position, qint64 number);
    // Runs the statement with what is bound; false, with the store's error logged, when it fails.
    bool run();

private:
    bool failed();

    sqlite3* m_db;
    QString m_sql;
    sqlite3_stmt* m_statement = nullptr;
};

#pragma once

#include "keptstatements.h"
#include "storestatement.h"

#include <QByteArrayView>
#include <QString>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// A statement run straight through SQLite's own calls, on the handle of a connection of Qt's SQLite driver
// (SqliteHandle): texts are bound and read as the UTF-8 bytes they are, without the driver's conversions and
// bookkeeping for each value, which cost more than the writing itself, and without the row the driver would keep
// converted to UTF-16 after its reading. Each statement is prepared once for its connection and kept: a write of the
// store's records brings its triggers along (WireSizeSql), whose compiling takes milliseconds, inside the transaction
// that holds the store.
class DirectStatement : public StoreStatement
{
public:
    using Kept = KeptStatements<sqlite3_stmt>;

    DirectStatement(sqlite3* db, Kept& kept) : m_db(db), m_kept(kept) {}
    DirectStatement(const DirectStatement&) = delete;
    DirectStatement& operator=(const DirectStatement&) = delete;
    ~DirectStatement() override { reset(); }

    void bindText(int position, QByteArrayView text) override;
    void bindNumber(int position, qint64 number) override;
    QByteArrayView text(int column) const override;
    qint64 number(int column) const override;
    bool isNull(int column) const override;
    qint64 changes() const override;

private:
    bool compile(const QString& sql) override;
    bool execute() override;
    bool step() override;
    // Resets the statement and clears its bindings: the texts bound lie in the caller's memory, which the kept
    // statement must not point at once it is gone.
    void reset() override;
    // Takes the outcome of a step: whether it reached a row.
    bool stepped(int outcome);
    bool failed();

    sqlite3* m_db;
    Kept& m_kept;
    std::shared_ptr<sqlite3_stmt> m_statement;
    bool m_atRow = false;
};

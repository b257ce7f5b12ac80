#pragma once

#include "keptstatements.h"
#include "postgresqlwait.h"
#include "storestatement.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <vector>

class QSqlDatabase;
struct pg_conn;
struct pg_result;

// A statement run straight through libpq on the connection of Qt's PostgreSQL driver, with the calls of a
// DirectStatement: texts are sent as the bytes they are, from where they lie, as parameters apart from the
// statement, and rows are read one at a time, each let go of at the next. Through the driver each value would be
// copied into a text of the statement several times over, each text read converted to UTF-16, and a statement kept
// prepared would hold the last values bound to it for as long as it is kept. Each statement is prepared on the server
// once for its connection and kept there by its name, which holds no values, or, through a pooler that hands out its
// server connections a transaction at a time, sent with its text each time it runs; on the connection nothing else
// is kept from one run to the next but libpq's own buffers, as large as the largest message it sent or received. Every
// wait for the server, to prepare, run, read or let go of a statement, is bounded (PostgresqlWait).
class PostgresqlStatement : public StoreStatement
{
public:
    // A statement prepared on the server, by its name, let go of on the server when it is dropped, through the
    // connection it was prepared on while that connection lives; or the text of a statement sent unnamed.
    using Kept = KeptStatements<QByteArray>;
    // How the connection's statements are kept between their runs: prepared on the server by a name that no other
    // connection, of this process or another, ever holds, so that a server session that passes from one connection to
    // another can at worst not know a name, never run another statement under it; or sent with their text each run
    // as libpq's unnamed statement, which no later statement relies on, for a pooler that may hand each transaction,
    // and each statement outside one, another server connection.
    enum class Preparing
    {
        Named,
        Unnamed,
    };
    // The life of a connection of Qt's driver, which owns it: the store holds it while the connection is open, and the
    // names of the statements prepared on it hold it weakly, so that none is deallocated through a connection that
    // has closed, or whose statements the server has forgotten.
    using Session = std::shared_ptr<pg_conn>;

    // The session of the connection of `db`, open on Qt's PostgreSQL driver; null for another driver.
    static Session sessionOf(const QSqlDatabase& db);

    // The statement runs on the session's connection, which lives at least as long as the statement, waiting for the
    // server no longer than `wait` lets it; the wait outlives the names the statement keeps prepared.
    PostgresqlStatement(const Session& session, Kept& kept, PostgresqlWait& wait,
                        Preparing preparing = Preparing::Named);
    PostgresqlStatement(const PostgresqlStatement&) = delete;
    PostgresqlStatement& operator=(const PostgresqlStatement&) = delete;
    ~PostgresqlStatement() override;

    void bindText(int position, QByteArrayView text) override;
    void bindNumber(int position, qint64 number) override;
    QByteArrayView text(int column) const override;
    qint64 number(int column) const override { return text(column).toLongLong(); }
    bool isNull(int column) const override;
    qint64 changes() const override { return m_changes; }

private:
    bool compile(const QString& sql) override;
    bool execute() override;
    bool step() override;
    // Reads what the server still sends for the statement, so that the connection is free for the next, and lets go
    // of the row at hand.
    void reset() override;
    // Takes the next result: whether it is a row.
    bool received();
    // Records the failure that the result, or the connection when there is none, tells; false.
    bool failed(const pg_result* result);
    // Prepares the statement, its values marked by number, under a name of its own.
    bool prepareNamed(const QByteArray& numbered);

    struct Value
    {
        QByteArrayView text;
        QByteArray number;
        bool isText = false;
    };

    // The connection, for as long as the statement runs, and its life, which the names prepared on it hold.
    pg_conn* m_connection;
    std::weak_ptr<pg_conn> m_session;
    Kept& m_kept;
    PostgresqlWait& m_wait;
    Preparing m_preparing;
    // The statement's name on the server, or its text where it is sent unnamed.
    std::shared_ptr<QByteArray> m_prepared;
    // Whether the name was prepared for this statement's first run, which has not yet been answered.
    bool m_justPrepared = false;
    // Whether the statement commits a transaction.
    bool m_commits = false;
    std::vector<Value> m_values;
    // The row at hand, or the result that ended the statement, and whether the server sends more.
    pg_result* m_result = nullptr;
    bool m_sending = false;
    qint64 m_changes = 0;
};

#pragma once

#include "keptstatements.h"

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
// statement. Through the driver each value would be copied into a text of the statement several times over, and a
// statement kept prepared would hold the last values bound to it for as long as it is kept. Each statement is
// prepared on the server once for its connection and kept there by its name, which holds no values; on the
// connection nothing else is kept from one run to the next but libpq's own buffer, as large as the largest statement
// it sent.
class PostgresqlStatement
{
public:
    // A statement prepared on the server, by its name; let go of on the server when it is dropped, through the
    // connection it was prepared on while that connection lives.
    using Kept = KeptStatements<QByteArray>;
    // The life of a connection of Qt's driver, which owns it: the store holds it while the connection is open, and the
    // names of the statements prepared on it hold it weakly, so that none is deallocated through a connection that
    // has closed, or whose statements the server has forgotten.
    using Session = std::shared_ptr<pg_conn>;

    // The code of a statement the server no longer knows by its name: a reset, or a pooler that handed the connection
    // another session.
    static constexpr const char* unknownStatement = "26000";

    // The session of the connection of `db`, open on Qt's PostgreSQL driver; null for another driver.
    static Session sessionOf(const QSqlDatabase& db);

    // The statement runs on the session's connection, which lives at least as long as the statement.
    PostgresqlStatement(const Session& session, Kept& kept);

    // The statement, its values marked "?" as for the driver.
    bool prepare(const QString& sql);
    // Binds the text, whose bytes must stay where they are until the statement has run.
    void bindText(int position, QByteArrayView text);
    void bindNumber(int position, qint64 number);
    // Runs the statement with what is bound; false, with the store's error logged, when it fails.
    bool run();
    // Whether the statement failed because the server no longer knows the name it was prepared under.
    bool forgotten() const { return m_forgotten; }

private:
    // Whether the statement succeeded; else logs its failure.
    bool succeeded(const pg_result* result);

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
    QString m_sql;
    std::shared_ptr<QByteArray> m_name;
    std::vector<Value> m_values;
    bool m_forgotten = false;
};

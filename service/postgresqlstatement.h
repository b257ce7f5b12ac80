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
    // A statement prepared on the server, by its name; let go of on the server when it is dropped.
    using Kept = KeptStatements<QByteArray>;

    // The statement runs on the connection of `db`, which must be open on Qt's PostgreSQL driver.
    PostgresqlStatement(const QSqlDatabase& db, Kept& kept);

    // The statement, its values marked "?" as for the driver.
    bool prepare(const QString& sql);
    // Binds the text, whose bytes must stay where they are until the statement has run.
    void bindText(int position, QByteArrayView text);
    void bindNumber(int position, qint64 number);
    // Runs the statement with what is bound; false, with the store's error logged, when it fails.
    bool run();

private:
    // Whether the statement succeeded; else logs its failure.
    bool succeeded(const pg_result* result) const;

    struct Value
    {
        QByteArrayView text;
        QByteArray number;
        bool isText = false;
    };

    pg_conn* m_connection = nullptr;
    Kept& m_kept;
    QString m_sql;
    std::shared_ptr<QByteArray> m_name;
    std::vector<Value> m_values;
};

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <vector>

class QSqlDatabase;
struct pg_conn;

// A statement run straight through libpq on the connection of Qt's PostgreSQL driver, with the calls of a
// DirectStatement: texts are sent as the bytes they are, from where they lie, as parameters apart from the
// statement. Through the driver each value would be copied into a text of the statement several times over, and a
// statement kept prepared would hold the last values bound to it for as long as it is kept. Nothing is kept on the
// connection from one run to the next but libpq's own buffer, as large as the largest statement it sent.
class PostgresqlStatement
{
public:
    // The statement runs on the connection of `db`, which must be open on Qt's PostgreSQL driver.
    explicit PostgresqlStatement(const QSqlDatabase& db);

    // The statement, its values marked "?" as for the driver.
    bool prepare(const QString& sql);
    // Binds the text, whose bytes must stay where they are until the statement has run.
    void bindText(int position, QByteArrayView text);
    void bindNumber(int position, qint64 number);
    // Runs the statement with what is bound; false, with the store's error logged, when it fails.
    bool run();

private:
    struct Value
    {
        QByteArrayView text;
        QByteArray number;
        bool isText = false;
    };

    pg_conn* m_connection = nullptr;
    QString m_sql;
    QByteArray m_statement;
    std::vector<Value> m_values;
};

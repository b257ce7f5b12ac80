#pragma once

#include <QString>
#include <QVariantList>

class QSqlDatabase;
class QSqlError;
class QSqlQuery;
class StoreStatement;

// What the store's statements share. A failure goes to the operator's log by its code and the statement the service
// was running, never with the database's message: a server's message may quote the values of the statement, which
// are synced data.
class StoreQuery
{
public:
    // The error's code, with what it means for the codes an operator acts on; the message itself only for a failure
    // to reach the store, which has no code and quotes no data.
    static QString errorSummary(const QSqlError& error);
    // The same for the code of a failure reported by the database's own library.
    static QString codeSummary(const QString& code);
    // What went wrong, for the operator told why a start failed: in words, with the code beside them, and still never
    // the database's message.
    static QString described(const QSqlError& error);
    // The same for a code as the database names it: PostgreSQL's SQLSTATE, or SQLite's number.
    static QString codeDescribed(const QString& code);
    // Whether the store failed for want of room on its disk.
    static bool diskFull(const QSqlError& error);
    // Logs the failure of the statement, as errorSummary() or codeSummary() tells it; false.
    static bool failed(const QString& summary, const QString& statement);
    // Runs the statement; false, with its error in `failure`, when it fails.
    static bool exec(const QSqlDatabase& db, const QString& statement, QSqlError& failure);
    // Keeps the query's error in `failure`, for the caller to tell; false.
    static bool failedWith(const QSqlQuery& query, QSqlError& failure);
    // Keeps the statement's failure in `failure` as Qt's driver tells one, by its code, or by the library's words
    // where it has none, for the work to name; false.
    static bool failedWith(const StoreStatement& statement, QSqlError& failure);
    // Prepares the statement with the values bound in order (StoreStatement::bindAll()) and runs it up to its first
    // row; false, with `failure` set and the statement finished, when it fails.
    static bool start(StoreStatement& statement, const QString& sql, const QVariantList& values, QSqlError& failure);
    // Placeholders for that many bound values: "?, ?, ?".
    static QString marks(int count);
};

#pragma once

#include <QString>

class QSqlError;
class QSqlQuery;

// What the store's statements share: a failure goes to the operator's log by its code and first line, never with
// the values of the statement.
class StoreQuery
{
public:
    // The error's code and first line: a later line of a server's message may quote the values of the statement.
    static QString errorSummary(const QSqlError& error);
    // Logs the query's error; false.
    static bool failed(const QSqlQuery& query);
    // Runs the prepared query; false, with its error logged, when it fails.
    static bool exec(QSqlQuery& query);
    // Placeholders for that many bound values: "?, ?, ?".
    static QString marks(int count);
};

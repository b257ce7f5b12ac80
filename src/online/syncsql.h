#pragma once

#include <QString>
#include <QVariantList>
#include <functional>

class QSqlQuery;

// Runs the sync's writes on the default connection and reports every failure, so that a sync that cannot
// write all of a change rolls the whole of it back instead of keeping part of it.
class SyncSql
{
public:
    // Sees the text of every statement ("BEGIN", "COMMIT" for the transaction) before it runs; when it returns
    // true the statement counts as failed and is not run. Only tests set it, to make one chosen step fail.
    using FailureHook = std::function<bool(const QString& statement)>;
    static void setFailureHook(const FailureHook& hook);

    // Runs a prepared query; false, with the error in the debug output, when it failed.
    static bool exec(QSqlQuery& query);
    // Prepares and runs a statement with the values bound in order.
    static bool exec(QSqlQuery& query, const QString& sql, const QVariantList& values = {});
    // Prepares a statement that run() then executes once per set of values.
    static bool prepare(QSqlQuery& query, const QString& sql);
    static bool run(QSqlQuery& query, const QVariantList& values);

    static bool begin();
    // Commits; when the commit fails the transaction is rolled back, so the book is as it was before begin().
    static bool commit();
    static void rollback();

    // A table or column name as an SQL identifier, safe whatever it holds.
    static QString quoted(const QString& identifier);
};

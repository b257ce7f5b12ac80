#include "poolerprobe.h"

#include "storeaddress.h"
#include "storequery.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {
// The code a pooler in statement mode, such as PgBouncer's, answers a transaction with: the database itself never
// refuses one so.
const QString protocolViolation = "08P01";

// The server process the connection's next statement ran in, in `process`.
bool serverProcess(const QSqlDatabase& db, qint64& process, QSqlError& failure)
{
    QSqlQuery query(db);
    if (!query.exec("select pg_backend_pid()") || !query.next())
        return StoreQuery::failedWith(query, failure);
    process = query.value(0).toLongLong();
    return true;
}

// Looks as the class says, with `other` open: whether the sessions are shared, in `shared`; false, with the failure,
// when a statement failed.
bool sharesSessions(const QSqlDatabase& own, const QSqlDatabase& other, bool& shared, QSqlError& failure)
{
    qint64 first = 0;
    qint64 held = 0;
    qint64 again = 0;
    QSqlQuery transaction(other);
    if (!serverProcess(own, first, failure))
        return false;
    if (!transaction.exec("begin"))
        return StoreQuery::failedWith(transaction, failure);
    const bool looked = serverProcess(other, held, failure) && serverProcess(own, again, failure);
    transaction.exec("rollback");
    shared = held == first || again != first;
    return looked;
}
} // namespace

QString PoolerProbe::refusal(const QSqlDatabase& own, const QString& url)
{
    QSqlError failure;
    bool shared = false;
    bool looked = false;
    QString connection;
    {
        QString error;
        QSqlDatabase other = StoreAddress::database(url, error);
        connection = other.connectionName();
        if (other.open())
            looked = sharesSessions(own, other, shared, failure);
        else
            failure = other.lastError();
    }
    QSqlDatabase::removeDatabase(connection);
    if (!looked && failure.nativeErrorCode() == protocolViolation)
        return "a transaction was refused (" + protocolViolation +
               "), as a pooler in statement mode refuses them, and the service writes in transactions: set the "
               "pooler's pool_mode to session, or to transaction and add pool_mode=transaction to the --database "
               "address; nothing was changed";
    if (!looked)
        return "looking at how its connections keep their server sessions: " + StoreQuery::described(failure);
    if (shared && !StoreAddress::poolsTransactions(url))
        return "its connections share the database server's sessions, as a pooler in transaction mode hands them "
               "out, where a statement the service prepares on one connection would be unknown on the next: " +
               StoreAddress::sharedSessionsAdvice + "; nothing was changed";
    return QString();
}

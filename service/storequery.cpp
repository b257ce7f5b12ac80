#include "storequery.h"

#include "servicelog.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <sqlite3.h>

namespace {
// PostgreSQL's codes of a full disk, and SQLite's.
const QStringList diskFullCodes{"53100", QString::number(SQLITE_FULL)};

// Enough of a statement to tell which it was: the service's statements hold placeholders, never values.
QString statementStart(const QString& statement)
{
    const qsizetype shown = 60;
    const QString line = statement.simplified();
    return line.size() > shown ? line.left(shown) + "..." : line;
}
} // namespace

QString StoreQuery::errorSummary(const QSqlError& error)
{
    const QString code = error.nativeErrorCode();
    if (code.isEmpty())
        return error.text().section('\n', 0, 0);
    return codeSummary(code);
}

QString StoreQuery::codeSummary(const QString& code)
{
    return diskFullCodes.contains(code) ? code + " (the disk is full)" : code;
}

bool StoreQuery::diskFull(const QSqlError& error)
{
    return diskFullCodes.contains(error.nativeErrorCode());
}

bool StoreQuery::failed(const QString& summary, const QString& statement)
{
    qCWarning(lcService).noquote() << QString("store: error %1 in \"%2\"").arg(summary, statementStart(statement));
    return false;
}

bool StoreQuery::failed(const QSqlQuery& query)
{
    return failed(errorSummary(query.lastError()), query.lastQuery());
}

bool StoreQuery::exec(QSqlQuery& query)
{
    return query.exec() || failed(query);
}

bool StoreQuery::exec(const QSqlDatabase& db, const QString& statement, QSqlError& failure)
{
    QSqlQuery query(db);
    return query.exec(statement) || failedWith(query, failure);
}

bool StoreQuery::failedWith(const QSqlQuery& query, QSqlError& failure)
{
    failure = query.lastError();
    return false;
}

QString StoreQuery::marks(int count)
{
    return QStringList(QList<QString>(count, "?")).join(", ");
}

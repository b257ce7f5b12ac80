#include "storequery.h"

#include "servicelog.h"
#include "storestatement.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <sqlite3.h>

#include <utility>

namespace {
// PostgreSQL's codes of a full disk, and SQLite's.
const QStringList diskFullCodes{"53100", QString::number(SQLITE_FULL)};

// What the PostgreSQL codes an operator meets at a start mean, and, for the others, their class (the code's first two
// characters).
const std::pair<const char*, const char*> sqlStates[] = {
    {"0A000", "the database does not support what was asked of it"},
    {"22021", "a text the database's encoding cannot hold"},
    {"25006", "the database takes no writes: a standby, or one whose transactions are read-only"},
    {"28P01", "the database server refused the user's password"},
    {"3D000", "the database does not exist"},
    {"40P01", "a deadlock with another connection"},
    {"42501", "the database user lacks a privilege it needs, such as making tables in the schema"},
    {"53100", "the disk is full"},
    {"53200", "the database server is out of memory"},
    {"53300", "the database server has no connection left"},
    {"55P03", "a lock another connection holds"},
    {"57014", "the statement was cancelled, by statement_timeout or by an operator"},
    {"57P01", "the database server was shut down"},
    {"08", "the connection to the database server failed"},
    {"0A", "the database does not support what was asked of it"},
    {"22", "a value the database cannot take"},
    {"23", "a row the database's rules refuse"},
    {"25", "the transaction could not go on"},
    {"28", "the database server refused the user"},
    {"40", "the database server undid the transaction"},
    {"42", "a statement the database refused: a privilege the user lacks, or a name it does not know"},
    {"53", "the database server lacks the resources"},
    {"54", "a limit of the database server was passed"},
    {"55", "something of the database is not in the state the statement needs"},
    {"57", "the database server stopped the statement"},
    {"58", "the database server's system failed"},
    {"XX", "an internal error of the database server"},
};

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

QString StoreQuery::described(const QSqlError& error)
{
    const QString code = error.nativeErrorCode();
    return code.isEmpty() ? errorSummary(error) : codeDescribed(code);
}

QString StoreQuery::codeDescribed(const QString& code)
{
    // PostgreSQL's codes have five characters, SQLite's are numbers of four digits at most.
    if (code.size() != 5)
        return QString("%1 (SQLite's code %2)").arg(QString::fromUtf8(sqlite3_errstr(code.toInt())), code);
    for (const auto& [known, words] : sqlStates) {
        if (code.startsWith(QLatin1String(known)))
            return QString("%1 (%2)").arg(QString::fromUtf8(words), code);
    }
    return QString("the database failed with code %1").arg(code);
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

bool StoreQuery::failedWith(const StoreStatement& statement, QSqlError& failure)
{
    failure = QSqlError(statement.code().isEmpty() ? statement.failure() : QString(), QString(),
                        QSqlError::StatementError, statement.code());
    return false;
}

bool StoreQuery::start(StoreStatement& statement, const QString& sql, const QVariantList& values, QSqlError& failure)
{
    if (!statement.prepare(sql))
        return failedWith(statement, failure);
    statement.bindAll(values);
    if (statement.start())
        return true;
    failedWith(statement, failure);
    statement.finish();
    return false;
}

QString StoreQuery::marks(int count)
{
    return QStringList(QList<QString>(count, "?")).join(", ");
}
